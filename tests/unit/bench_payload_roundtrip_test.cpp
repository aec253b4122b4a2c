// Tests of the benchmark payload: the compiled benchmark tables are well formed and rebuild every
// generated file byte for byte, the files have their exact sizes and compress close to their
// targets, and the generator gives the same bytes in this process as it gave the build.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "bench/bench_payload.h"
#include "payload/payload_tables.h"
#include "payload/retrieve_resource.h"

namespace {

using benchpayload::kBenchFileCount;
using benchpayload::kBenchFiles;

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<char, FreeDeleter>;

// The generated file as the build wrote it, or an empty string after a test failure when it
// cannot be read.
std::string ReadGenerated(const char* name) {
    const std::string path = std::string(MXV_BENCH_PAYLOAD_DIR) + "/" + name;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    if (!in || !(content << in.rdbuf())) {
        ADD_FAILURE() << path << " cannot be read";
        return std::string();
    }
    return content.str();
}

TEST(BenchPayloadTables, DescribeTheGeneratedFilesInTableOrder) {
    ASSERT_EQ(kResourceCount, kBenchFileCount);
    for (std::uint32_t i = 0; i < kResourceCount; ++i) {
        SCOPED_TRACE(kBenchFiles[i].name);
        EXPECT_STREQ(ResourceTable[i].name, kBenchFiles[i].name);
        EXPECT_EQ(ResourceTable[i].uncompressedSize, kBenchFiles[i].size);
        // The build step compresses with the generator's settings, so its stream sizes are the
        // compressed sizes the generator was tuned for.
        EXPECT_GT(ResourceTable[i].compressedSize, 0);
        EXPECT_TRUE(benchpayload::WithinTolerance(
            static_cast<std::uint64_t>(ResourceTable[i].compressedSize),
            kBenchFiles[i].targetCompressedSize))
            << "compressed to " << ResourceTable[i].compressedSize << ", target "
            << kBenchFiles[i].targetCompressedSize;
    }
}

TEST(BenchPayloadTables, HoldOneContiguousRunPerFileAndATerminator) {
    std::uint32_t position = 0;
    for (std::uint32_t i = 0; i < kResourceCount; ++i) {
        const ResourceEntry& resource = ResourceTable[i];
        SCOPED_TRACE(resource.name);
        // The run starts where the previous one ended; names are distinct, so a chunk of this file
        // anywhere else would end a run early or break the next one.
        std::int64_t total = 0;
        std::uint32_t chunks = 0;
        bool shortChunkSeen = false;
        while (ChunkTable[position].name[0] != '\0' &&
               std::strcmp(ChunkTable[position].name, resource.name) == 0) {
            const std::int32_t length = ChunkTable[position].length;
            EXPECT_FALSE(shortChunkSeen) << "a chunk follows a short one at " << position;
            EXPECT_GE(length, 1) << "at chunk " << position;
            EXPECT_LE(length, kChunkLength) << "at chunk " << position;
            shortChunkSeen = length != kChunkLength;
            total += length;
            ++chunks;
            ++position;
        }
        EXPECT_GE(chunks, 1u);
        EXPECT_EQ(total, resource.compressedSize);
        EXPECT_EQ(chunks, (static_cast<std::uint32_t>(resource.compressedSize) + kChunkLength - 1) /
                              static_cast<std::uint32_t>(kChunkLength));
    }
    EXPECT_STREQ(ChunkTable[position].name, "") << "no terminator after the last run";
    EXPECT_EQ(ChunkTable[position].length, 0);
}

TEST(BenchPayloadTables, RebuildEveryGeneratedFile) {
    for (std::uint32_t i = 0; i < kResourceCount; ++i) {
        SCOPED_TRACE(kBenchFiles[i].name);
        const std::string expected = ReadGenerated(kBenchFiles[i].name);
        ASSERT_EQ(expected.size(), kBenchFiles[i].size);
        std::int32_t size = -1;
        Buffer rebuilt(RetrieveResource(ResourceTable, ChunkTable, kResourceCount, i, &size));
        ASSERT_NE(rebuilt.get(), nullptr);
        ASSERT_EQ(size, static_cast<std::int32_t>(expected.size()));
        EXPECT_TRUE(std::memcmp(rebuilt.get(), expected.data(), expected.size()) == 0)
            << "the rebuilt bytes differ from the generated file";
    }
}

TEST(BenchPayloadGenerator, GivesTheBuildsBytesAndMeasuresThemHonestly) {
    for (std::size_t i = 0; i < kBenchFileCount; ++i) {
        SCOPED_TRACE(kBenchFiles[i].name);
        const benchpayload::GeneratedFile made = benchpayload::GenerateBenchFileMeasured(i);
        EXPECT_TRUE(made.content == ReadGenerated(kBenchFiles[i].name))
            << "this process generated other bytes than the build did";
        EXPECT_EQ(made.compressedSize, benchpayload::CompressedSize(made.content));
        EXPECT_TRUE(benchpayload::WithinTolerance(made.compressedSize,
                                                  kBenchFiles[i].targetCompressedSize));
    }
    EXPECT_THROW(benchpayload::GenerateBenchFile(kBenchFileCount), std::out_of_range);
}

TEST(BenchPayloadGenerator, ToleranceIsFifteenPercentEitherWay) {
    EXPECT_TRUE(benchpayload::WithinTolerance(1000, 1000));
    EXPECT_TRUE(benchpayload::WithinTolerance(1150, 1000));
    EXPECT_TRUE(benchpayload::WithinTolerance(850, 1000));
    EXPECT_FALSE(benchpayload::WithinTolerance(1151, 1000));
    EXPECT_FALSE(benchpayload::WithinTolerance(849, 1000));
    EXPECT_FALSE(benchpayload::WithinTolerance(0, 1000));
}

} // namespace
