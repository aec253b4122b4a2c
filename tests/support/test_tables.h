// Payload tables assembled at run time for tests: files cut into chunks like the build step cuts
// them, with room for decoys and damage, and a bzip2 helper to make streams.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "payload/payload_tables.h"

namespace testing_support {

// One bzip2 stream of content with 900 k blocks.
std::string Compress(const std::string& content);

// Reads a whole file; fails the calling test when it cannot.
std::string ReadFileBytes(const std::string& path);

class TestTables {
public:
    // Adds a resource entry and its run of chunks (26 bytes each, the last one shorter).
    void AddFile(const std::string& name, std::uint32_t uncompressedSize,
                 std::int32_t compressedSize, const std::string& chunkBytes);
    // Adds a resource entry without chunks.
    void AddEntry(const std::string& name, std::uint32_t uncompressedSize,
                  std::int32_t compressedSize);
    // Adds one chunk with its own copy of the name.
    void AddChunk(const std::string& name, const std::string& bytes);
    // Adds one chunk with a length that need not match its bytes.
    void AddChunkWithLength(const std::string& name, const std::string& bytes, std::int32_t length);

    // Named files, each made like the build step makes one, or spoilt in one known way:
    // compressed with one bzip2 stream; stored as its own bytes;
    void AddCompressedFile(const std::string& name, const std::string& content);
    void AddStoredFile(const std::string& name, const std::string& content);
    // a damaged stream (bytes in the middle of the stream changed), which the library refuses;
    void AddDamagedStream(const std::string& name, const std::string& content);
    // a file too large for its entry (the stream decompresses to more than uncompressedSize);
    void AddFileTooLarge(const std::string& name, const std::string& content);
    // a stream cut short (its last chunk missing).
    void AddCutStream(const std::string& name, const std::string& content);

    // The tables, with the terminator after the chunks added so far.
    const ResourceEntry* Resources();
    const ChunkEntry* Chunks();
    std::uint32_t Count() const { return static_cast<std::uint32_t>(resources_.size()); }

private:
    // Stable storage: every name and chunk gets a copy of its own, so nothing matches by address.
    const char* Keep(const std::string& text);

    std::deque<std::string> storage_;
    std::vector<ResourceEntry> resources_;
    std::vector<ChunkEntry> chunks_;
    std::vector<ChunkEntry> terminated_;
};

} // namespace testing_support
