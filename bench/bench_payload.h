// The benchmark payload: eleven deterministic files with the names and sizes of the real payload
// and close to its compressibility, so that the payload code can be measured on realistic data
// without shipping any of the real files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "payload/payload_layout.h"

namespace benchpayload {

// One benchmark file: its name, its exact size, and the size its bzip2 stream (900 k blocks) should
// come close to.
struct BenchFile {
    const char* name;
    std::uint32_t size;
    std::uint32_t targetCompressedSize;
};

// The eleven files in table order. This is the only place that states their sizes.
constexpr BenchFile kBenchFiles[] = {
    {"msvcm90.dll", 224768, 69652},       {"msvcp90.dll", 568832, 161962},
    {"msvcr90.dll", 655872, 322402},      {"Microsoft.VC90.CRT.manifest", 524, 366},
    {"NQVQlar.exe", 319488, 148577},      {"NQVLang.dll", 1761280, 142744},
    {"ZeConfTest.dll", 626688, 230157},   {"Ze2ConfTest.dll", 1208320, 457619},
    {"Ze3ConfTest.dll", 2206720, 490424}, {"TraceLib.dll", 24576, 5460},
    {"QlarHelp.htm", 2829, 1567},
};

constexpr std::size_t kBenchFileCount = sizeof(kBenchFiles) / sizeof(kBenchFiles[0]);

// A generated file's compressed size may differ from its target by at most this many percent of the
// target; anything further off is a failure of the generator.
constexpr std::uint64_t kCompressedTolerancePercent = 15;

namespace detail {

constexpr bool SameName(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

constexpr bool MatchesPayloadLayout() {
    if (kBenchFileCount != payload::kPayloadNameCount) {
        return false;
    }
    for (std::size_t i = 0; i < kBenchFileCount; ++i) {
        if (!SameName(kBenchFiles[i].name, payload::kPayloadNames[i])) {
            return false;
        }
    }
    return true;
}

} // namespace detail

static_assert(detail::MatchesPayloadLayout(),
              "The benchmark files must carry the payload's names in the payload's order");

// A generated file together with the size of its bzip2 stream, measured while it was tuned.
struct GeneratedFile {
    std::string content;
    std::uint32_t compressedSize = 0;
};

// Generates the file at position index of kBenchFiles and reports its compressed size. The same
// index always gives the same bytes, on every platform. Throws std::out_of_range for an index at or
// past kBenchFileCount, and std::runtime_error when libbzip2 fails.
GeneratedFile GenerateBenchFileMeasured(std::size_t index);

// The content of the file at position index, as GenerateBenchFileMeasured makes it.
std::string GenerateBenchFile(std::size_t index);

// The size of content's bzip2 stream with 900 k blocks and the default work factor, the settings
// the payload build step uses. Throws std::runtime_error when libbzip2 fails.
std::uint32_t CompressedSize(const std::string& content);

// Whether a compressed size lies within kCompressedTolerancePercent of its target.
bool WithinTolerance(std::uint64_t achieved, std::uint64_t target);

} // namespace benchpayload
