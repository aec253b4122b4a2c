// The payload build step's pure core: compresses each input file, cuts the streams into chunks,
// proves each stream against its input, and writes the two tables as C++ source and a summary.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mkpayload {

// The largest file the tables can describe: the rebuilt length travels in a signed 32-bit integer.
constexpr std::uint64_t kMaxFileSize = 0x7fffffff;

// One input file, in table order.
struct InputFile {
    std::string name;
    std::string path;
    bool stored = false;
};

// One file as the tables will hold it.
struct BuiltFile {
    std::string name;
    std::uint32_t uncompressedSize = 0;
    // 0 for a stored file.
    std::int32_t compressedSize = 0;
    // The bytes the chunks carry: the bzip2 stream, or the file itself when stored.
    std::string payload;
};

// Puts the given files into table order. Each path's file name must be one of the expected names,
// each expected name must be given exactly once, and every stored name must be among them. Returns
// false and sets error to a message naming the offending file or name.
bool OrderInputs(const std::vector<std::string>& paths, const std::vector<std::string>& storedNames,
                 const std::vector<std::string>& expectedNames, std::vector<InputFile>& ordered,
                 std::string& error);

// Compresses content into one bzip2 stream with 900 k blocks (or keeps it as it is when stored),
// then decompresses the stream again and compares it with content. Returns false with error set
// when the file is too large for the tables or the round trip differs.
bool BuildFile(const std::string& name, const std::string& content, bool stored, BuiltFile& built,
               std::string& error);

// The number of chunks a payload of this many bytes is cut into. Every file has at least one chunk.
std::uint32_t ChunkCount(std::size_t payloadSize);

// The C++ source that defines ResourceTable and ChunkTable for these files, ending with the
// terminator entry. The same files always give the same text.
std::string EmitTables(const std::vector<BuiltFile>& files);

// A table of positions, names, sizes, chunk counts, chunk positions and last-chunk lengths, with
// the totals.
std::string Summary(const std::vector<BuiltFile>& files);

} // namespace mkpayload
