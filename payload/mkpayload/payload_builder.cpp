// Compression, chunking, verification and source emission for the payload build step.
#include "payload/mkpayload/payload_builder.h"

#include <bzlib.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "payload/payload_layout.h"

namespace mkpayload {
namespace {

constexpr std::size_t kChunk = payload::kChunkLength;
constexpr int kBlockSize = 9;

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Appends bytes as the body of a C++ string literal. Printable characters stand as they are; every
// other byte becomes a three-digit octal escape, which can never swallow a following digit.
void AppendLiteral(std::string& out, const char* data, std::size_t size) {
    static const char kDigits[] = "01234567";
    for (std::size_t i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        if (byte >= 0x20 && byte < 0x7f && byte != '"' && byte != '\\' && byte != '?') {
            out += static_cast<char>(byte);
        } else {
            out += '\\';
            out += kDigits[(byte >> 6) & 7];
            out += kDigits[(byte >> 3) & 7];
            out += kDigits[byte & 7];
        }
    }
}

std::string WithThousands(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) {
        digits.insert(static_cast<std::size_t>(i), ",");
    }
    return digits;
}

} // namespace

bool OrderInputs(const std::vector<std::string>& paths, const std::vector<std::string>& storedNames,
                 const std::vector<std::string>& expectedNames, std::vector<InputFile>& ordered,
                 std::string& error) {
    std::vector<const std::string*> byPosition(expectedNames.size(), nullptr);
    for (const std::string& path : paths) {
        const std::string name = BaseName(path);
        const auto found = std::find(expectedNames.begin(), expectedNames.end(), name);
        if (found == expectedNames.end()) {
            error = path + ": '" + name + "' is not one of the payload's file names";
            return false;
        }
        const auto position = static_cast<std::size_t>(found - expectedNames.begin());
        if (byPosition[position] != nullptr) {
            error =
                path + ": '" + name + "' is given twice (also as " + *byPosition[position] + ")";
            return false;
        }
        byPosition[position] = &path;
    }
    for (std::size_t i = 0; i < expectedNames.size(); ++i) {
        if (byPosition[i] == nullptr) {
            error = expectedNames[i] + ": missing; the payload needs this file";
            return false;
        }
    }
    for (const std::string& stored : storedNames) {
        if (std::find(expectedNames.begin(), expectedNames.end(), stored) == expectedNames.end()) {
            error = stored + ": cannot be stored, it is not one of the payload's file names";
            return false;
        }
    }
    const std::set<std::string> storedSet(storedNames.begin(), storedNames.end());
    ordered.clear();
    for (std::size_t i = 0; i < expectedNames.size(); ++i) {
        ordered.push_back(
            {expectedNames[i], *byPosition[i], storedSet.count(expectedNames[i]) != 0});
    }
    return true;
}

bool BuildFile(const std::string& name, const std::string& content, bool stored, BuiltFile& built,
               std::string& error) {
    if (content.size() > kMaxFileSize) {
        error = name + ": " + std::to_string(content.size()) +
                " bytes is too large for the payload tables (at most " +
                std::to_string(kMaxFileSize) + ")";
        return false;
    }
    built.name = name;
    built.uncompressedSize = static_cast<std::uint32_t>(content.size());
    if (stored) {
        built.compressedSize = 0;
        built.payload = content;
        return true;
    }

    // The bound the library's documentation gives for the worst case: 1% more plus 600 bytes.
    unsigned int streamSize =
        static_cast<unsigned int>(content.size() + content.size() / 100 + 600);
    std::string stream(streamSize, '\0');
    std::string input = content;
    int status =
        BZ2_bzBuffToBuffCompress(stream.data(), &streamSize, input.data(),
                                 static_cast<unsigned int>(input.size()), kBlockSize, 0, 0);
    if (status != BZ_OK) {
        error = name + ": compression failed (libbzip2 status " + std::to_string(status) + ")";
        return false;
    }
    if (streamSize > kMaxFileSize) {
        error = name + ": its compressed stream is too large for the payload tables";
        return false;
    }
    stream.resize(streamSize);

    // Prove the stream before anything is written: it must give back exactly the input.
    std::string check(content.size() + 1, '\0');
    unsigned int checkSize = static_cast<unsigned int>(check.size());
    status = BZ2_bzBuffToBuffDecompress(check.data(), &checkSize, stream.data(), streamSize, 0, 0);
    if (status != BZ_OK || checkSize != content.size() ||
        check.compare(0, checkSize, content) != 0) {
        error = name + ": the compressed stream does not decompress to the input";
        return false;
    }
    built.compressedSize = static_cast<std::int32_t>(streamSize);
    built.payload = std::move(stream);
    return true;
}

std::uint32_t ChunkCount(std::size_t payloadSize) {
    return payloadSize == 0 ? 1 : static_cast<std::uint32_t>((payloadSize + kChunk - 1) / kChunk);
}

std::string EmitTables(const std::vector<BuiltFile>& files) {
    std::string out;
    out += "// Generated by mkpayload from the payload's input files. Do not edit.\n";
    out += "#include \"payload/payload_tables.h\"\n\n";
    out += "namespace {\n";
    for (std::size_t i = 0; i < files.size(); ++i) {
        out += "const char kName" + std::to_string(i) + "[] = \"";
        AppendLiteral(out, files[i].name.data(), files[i].name.size());
        out += "\";\n";
    }
    // Each file's chunk bytes lie back to back in one array, one chunk to a line, and the chunk
    // entries point into it. So the image holds a single string terminator per file rather than
    // one per chunk, and the compiler sees one literal per file instead of one object per chunk.
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string& payload = files[i].payload;
        out += "const char kData" + std::to_string(i) + "[] =";
        if (payload.empty()) {
            out += " \"\"";
        }
        for (std::size_t offset = 0; offset < payload.size(); offset += kChunk) {
            out += "\n    \"";
            AppendLiteral(out, payload.data() + offset, std::min(kChunk, payload.size() - offset));
            out += '"';
        }
        out += ";\n";
    }
    out += "} // namespace\n\n";

    out += "extern const ResourceEntry ResourceTable[kResourceCount] = {\n";
    for (std::size_t i = 0; i < files.size(); ++i) {
        out += "    {kName" + std::to_string(i) + ", " + std::to_string(files[i].uncompressedSize) +
               "u, " + std::to_string(files[i].compressedSize) + "},\n";
    }
    out += "};\n\n";

    out += "extern const ChunkEntry ChunkTable[] = {\n";
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string& payload = files[i].payload;
        const std::string index = std::to_string(i);
        const std::uint32_t chunks = ChunkCount(payload.size());
        for (std::uint32_t c = 0; c < chunks; ++c) {
            const std::size_t offset = static_cast<std::size_t>(c) * kChunk;
            const std::size_t length = std::min(kChunk, payload.size() - offset);
            out += "    {kName" + index + ", kData" + index + " + " + std::to_string(offset) +
                   ", " + std::to_string(length) + "},\n";
        }
    }
    out += "    {\"\", \"\", 0},\n";
    out += "};\n";
    return out;
}

std::string Summary(const std::vector<BuiltFile>& files) {
    std::string out;
    char line[256];
    std::snprintf(line, sizeof line, "%-8s  %-28s  %12s  %12s  %7s  %-20s  %s\n", "Position",
                  "Name", "Uncompressed", "Compressed", "Chunks", "Chunk positions", "Last chunk");
    out += line;
    std::uint64_t totalUncompressed = 0;
    std::uint64_t totalCompressed = 0;
    std::uint64_t position = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const BuiltFile& file = files[i];
        const std::uint32_t chunks = ChunkCount(file.payload.size());
        const std::size_t last = file.payload.size() - (chunks - 1) * kChunk;
        const std::string positions =
            WithThousands(position) + " to " + WithThousands(position + chunks - 1);
        std::snprintf(line, sizeof line, "%-8zu  %-28s  %12s  %12s  %7s  %-20s  %zu\n", i,
                      file.name.c_str(), WithThousands(file.uncompressedSize).c_str(),
                      file.compressedSize > 0 ? WithThousands(file.compressedSize).c_str()
                                              : "stored",
                      WithThousands(chunks).c_str(), positions.c_str(), last);
        out += line;
        totalUncompressed += file.uncompressedSize;
        totalCompressed += file.payload.size();
        position += chunks;
    }
    out += "In all: " + WithThousands(totalUncompressed) + " bytes uncompressed, " +
           WithThousands(totalCompressed) + " bytes in chunks, " + WithThousands(position) +
           " chunks; the terminator stands at chunk position " + WithThousands(position) + ".\n";
    return out;
}

} // namespace mkpayload
