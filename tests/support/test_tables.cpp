// Building test payload tables and bzip2 streams.
#include "tests/support/test_tables.h"

#include <bzlib.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace testing_support {

std::string Compress(const std::string& content) {
    unsigned int size = static_cast<unsigned int>(content.size() + content.size() / 100 + 600);
    std::string stream(size, '\0');
    std::string input = content;
    const int status = BZ2_bzBuffToBuffCompress(stream.data(), &size, input.data(),
                                                static_cast<unsigned int>(input.size()), 9, 0, 0);
    EXPECT_EQ(status, BZ_OK);
    stream.resize(size);
    return stream;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << path;
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void TestTables::AddFile(const std::string& name, std::uint32_t uncompressedSize,
                         std::int32_t compressedSize, const std::string& chunkBytes) {
    AddEntry(name, uncompressedSize, compressedSize);
    for (std::size_t offset = 0; offset < chunkBytes.size(); offset += kChunkLength) {
        AddChunk(name, chunkBytes.substr(offset, kChunkLength));
    }
}

void TestTables::AddEntry(const std::string& name, std::uint32_t uncompressedSize,
                          std::int32_t compressedSize) {
    resources_.push_back({Keep(name), uncompressedSize, compressedSize});
}

void TestTables::AddChunk(const std::string& name, const std::string& bytes) {
    AddChunkWithLength(name, bytes, static_cast<std::int32_t>(bytes.size()));
}

void TestTables::AddChunkWithLength(const std::string& name, const std::string& bytes,
                                    std::int32_t length) {
    chunks_.push_back({Keep(name), Keep(bytes), length});
}

void TestTables::AddCompressedFile(const std::string& name, const std::string& content) {
    const std::string stream = Compress(content);
    AddFile(name, static_cast<std::uint32_t>(content.size()),
            static_cast<std::int32_t>(stream.size()), stream);
}

void TestTables::AddStoredFile(const std::string& name, const std::string& content) {
    AddFile(name, static_cast<std::uint32_t>(content.size()), 0, content);
}

void TestTables::AddDamagedStream(const std::string& name, const std::string& content) {
    std::string stream = Compress(content);
    // Past the 4-byte header and the block magic, inside the block's checksum and data.
    for (std::size_t i = 10; i < stream.size() && i < 20; ++i) {
        stream[i] = static_cast<char>(~stream[i]);
    }
    AddFile(name, static_cast<std::uint32_t>(content.size()),
            static_cast<std::int32_t>(stream.size()), stream);
}

void TestTables::AddFileTooLarge(const std::string& name, const std::string& content) {
    const std::string stream = Compress(content);
    AddFile(name, static_cast<std::uint32_t>(content.size() - 1),
            static_cast<std::int32_t>(stream.size()), stream);
}

void TestTables::AddCutStream(const std::string& name, const std::string& content) {
    const std::string stream = Compress(content);
    const std::size_t kept = (stream.size() - 1) / kChunkLength * kChunkLength;
    AddEntry(name, static_cast<std::uint32_t>(content.size()),
             static_cast<std::int32_t>(stream.size()));
    for (std::size_t offset = 0; offset < kept; offset += kChunkLength) {
        AddChunk(name, stream.substr(offset, kChunkLength));
    }
}

const ResourceEntry* TestTables::Resources() {
    return resources_.data();
}

const ChunkEntry* TestTables::Chunks() {
    terminated_ = chunks_;
    terminated_.push_back({Keep(""), Keep(""), 0});
    return terminated_.data();
}

const char* TestTables::Keep(const std::string& text) {
    storage_.push_back(text);
    return storage_.back().c_str();
}

} // namespace testing_support
