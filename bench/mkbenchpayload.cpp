// mkbenchpayload: writes the eleven benchmark payload files into a directory.
//
//   mkbenchpayload OUTDIR
//
// OUTDIR and any missing parents are created.
//
// Every file is generated and checked before anything is written: its size must be exact and its
// bzip2 stream must lie within the tolerance of its target size. When any file misses, the program
// names it, writes nothing and fails, so that a build never goes on with a payload that does not
// resemble the real one.
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "bench/bench_payload.h"

namespace {

// Writes content to a temporary file beside path and renames it into place, so that a reader never
// sees a half-written file.
bool WriteFile(const std::string& path, const std::string& content) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '-') {
        std::cerr << "usage: mkbenchpayload OUTDIR\n";
        return 2;
    }
    const std::string directory = argv[1];
    const auto started = std::chrono::steady_clock::now();

    std::vector<benchpayload::GeneratedFile> files(benchpayload::kBenchFileCount);
    bool allGood = true;
    try {
        for (std::size_t i = 0; i < benchpayload::kBenchFileCount; ++i) {
            const benchpayload::BenchFile& wanted = benchpayload::kBenchFiles[i];
            files[i] = benchpayload::GenerateBenchFileMeasured(i);
            const benchpayload::GeneratedFile& made = files[i];
            const double deviation = 100.0 *
                                     (static_cast<double>(made.compressedSize) -
                                      static_cast<double>(wanted.targetCompressedSize)) /
                                     static_cast<double>(wanted.targetCompressedSize);
            const bool sizeRight = made.content.size() == wanted.size;
            const bool ratioRight =
                benchpayload::WithinTolerance(made.compressedSize, wanted.targetCompressedSize);
            std::printf("%-28s %9zu bytes, compressed %7u (target %7u, %+5.2f%%)%s\n", wanted.name,
                        made.content.size(), made.compressedSize, wanted.targetCompressedSize,
                        deviation, sizeRight && ratioRight ? "" : "  <-- WRONG");
            if (!sizeRight) {
                std::cerr << "mkbenchpayload: error: " << wanted.name << " has "
                          << made.content.size() << " bytes instead of " << wanted.size << "\n";
                allGood = false;
            }
            if (!ratioRight) {
                std::cerr << "mkbenchpayload: error: " << wanted.name << " compresses to "
                          << made.compressedSize << " bytes, more than "
                          << benchpayload::kCompressedTolerancePercent << "% away from "
                          << wanted.targetCompressedSize << "\n";
                allGood = false;
            }
        }
    } catch (const std::exception& failure) {
        std::cerr << "mkbenchpayload: error: " << failure.what() << "\n";
        return 1;
    }
    if (!allGood) {
        std::cerr
            << "mkbenchpayload: error: the benchmark payload is off target; nothing written\n";
        return 1;
    }

    std::error_code failure;
    std::filesystem::create_directories(directory, failure);
    if (failure) {
        std::cerr << "mkbenchpayload: error: " << directory
                  << ": cannot be created: " << failure.message() << "\n";
        return 1;
    }
    for (std::size_t i = 0; i < benchpayload::kBenchFileCount; ++i) {
        const std::string path = directory + "/" + benchpayload::kBenchFiles[i].name;
        if (!WriteFile(path, files[i].content)) {
            std::cerr << "mkbenchpayload: error: " << path << ": cannot be written\n";
            return 1;
        }
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    std::printf("Wrote %zu files into %s in %.2f s.\n", benchpayload::kBenchFileCount,
                directory.c_str(), elapsed.count());
    return 0;
}
