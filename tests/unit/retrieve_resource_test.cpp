// Tests of rebuilding one embedded file from its chunks.
#include "payload/retrieve_resource.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "tests/support/fake_host.h"
#include "tests/support/test_tables.h"

using testing_support::Compress;
using testing_support::FakeHost;
using testing_support::ReadFileBytes;
using testing_support::TestTables;

namespace {

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<char, FreeDeleter>;

// Calls RetrieveResource and returns the rebuilt bytes, or nothing when it returned null.
bool Retrieve(TestTables& tables, std::uint32_t index, std::string& bytes, std::int32_t& size) {
    Buffer buffer(
        RetrieveResource(tables.Resources(), tables.Chunks(), tables.Count(), index, &size));
    if (!buffer) {
        return false;
    }
    bytes.assign(buffer.get(), static_cast<std::size_t>(size));
    return true;
}

std::string Sample(std::size_t size, unsigned seed) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        text += static_cast<char>((i % 7 == 0) ? (seed >> 16) : 'a' + (i % 13));
    }
    return text;
}

} // namespace

TEST(RetrieveResource, EveryFileOfTheDefaultPayloadRoundTrips) {
    for (std::uint32_t i = 0; i < kResourceCount; ++i) {
        const std::string expected =
            ReadFileBytes(std::string(MXV_TEST_PAYLOAD_DIR) + "/" + ResourceTable[i].name);
        std::int32_t size = -1;
        Buffer buffer(RetrieveResource(ResourceTable, ChunkTable, kResourceCount, i, &size));
        ASSERT_TRUE(buffer) << ResourceTable[i].name;
        ASSERT_EQ(static_cast<std::size_t>(size), expected.size()) << ResourceTable[i].name;
        EXPECT_EQ(std::string(buffer.get(), expected.size()), expected) << ResourceTable[i].name;
    }
}

TEST(RetrieveResource, StoredFilesAreTheirChunksConcatenated) {
    TestTables tables;
    const std::string first = Sample(53, 1);  // Two full chunks and one byte.
    const std::string second = Sample(52, 2); // Ends with a full chunk.
    tables.AddFile("one.dll", 53, 0, first);
    tables.AddFile("two.dll", 52, -5, second); // Any size of 0 or less means stored.
    std::string bytes;
    std::int32_t size = 0;
    ASSERT_TRUE(Retrieve(tables, 0, bytes, size));
    EXPECT_EQ(bytes, first);
    ASSERT_TRUE(Retrieve(tables, 1, bytes, size));
    EXPECT_EQ(size, 52);
    EXPECT_EQ(bytes, second);
}

TEST(RetrieveResource, StoredRunsThatDoNotFillTheirBufferExactlyFail) {
    TestTables tables;
    tables.AddFile("short.htm", 60, 0, Sample(52, 3)); // Would leave 8 bytes nobody wrote.
    tables.AddFile("long.htm", 30, 0, Sample(52, 4));  // Would write 22 bytes past the buffer.
    std::string bytes;
    std::int32_t size = 77;
    EXPECT_FALSE(Retrieve(tables, 0, bytes, size));
    EXPECT_FALSE(Retrieve(tables, 1, bytes, size));
    EXPECT_EQ(size, 77);
}

TEST(RetrieveResource, DecompressionOutcomes) {
    const std::string content = Sample(5000, 5);
    const std::string stream = Compress(content);
    const auto streamSize = static_cast<std::int32_t>(stream.size());
    std::string damaged = stream;
    damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 0x55);

    TestTables tables;
    tables.AddFile("exact.dll", 5000, streamSize, stream);
    tables.AddFile("roomy.dll", 9000, streamSize, stream);   // Stream ends before the buffer.
    tables.AddFile("cramped.dll", 4999, streamSize, stream); // Needs one byte more.
    tables.AddFile("damaged.dll", 5000, streamSize, damaged);
    tables.AddFile("cut.dll", 5000, streamSize - 30, stream.substr(0, stream.size() - 30));

    std::string bytes;
    std::int32_t size = -1;
    ASSERT_TRUE(Retrieve(tables, 0, bytes, size));
    EXPECT_EQ(bytes, content);

    ASSERT_TRUE(Retrieve(tables, 1, bytes, size));
    EXPECT_EQ(size, 5000) << "the shorter length the library reports is the file's length";
    EXPECT_EQ(bytes, content);

    size = 1234;
    EXPECT_FALSE(Retrieve(tables, 2, bytes, size));
    EXPECT_FALSE(Retrieve(tables, 3, bytes, size));
    EXPECT_FALSE(Retrieve(tables, 4, bytes, size));
    EXPECT_EQ(size, 1234) << "a failure leaves the size alone";
}

TEST(RetrieveResource, IndexAtOrPastCountAllocatesNothing) {
    FakeHost fake;
    platform::ScopedHost guard(fake);
    TestTables tables;
    tables.AddFile("a.htm", 3, 0, "abc");
    std::int32_t size = 42;
    EXPECT_EQ(RetrieveResource(tables.Resources(), tables.Chunks(), 1, 1, &size), nullptr);
    EXPECT_EQ(RetrieveResource(tables.Resources(), tables.Chunks(), 1, 0xffffffffu, &size),
              nullptr);
    EXPECT_EQ(size, 42);
    EXPECT_EQ(fake.allocationCount, 0);
}

TEST(RetrieveResource, ChunkNamesMatchByContentExactly) {
    TestTables tables;
    tables.AddEntry("a.dll", 6, 0);
    // Each chunk carries its own copy of the name; near misses never count.
    tables.AddChunk("a.dll", "abc");
    tables.AddChunk("A.DLL", "XXX");
    tables.AddChunk("a.dl", "XXX");
    tables.AddChunk("a.dllx", "XXX");
    tables.AddChunk("a.dll", "def");
    std::string bytes;
    std::int32_t size = 0;
    ASSERT_TRUE(Retrieve(tables, 0, bytes, size));
    EXPECT_EQ(bytes, "abcdef");
}

TEST(RetrieveResource, ScanStartsAtTheFilePositionAndRunsToTheTerminator) {
    TestTables tables;
    tables.AddEntry("a.htm", 2, 0);
    tables.AddEntry("b.htm", 5, 0);
    tables.AddEntry("c.htm", 1, 0);
    tables.AddChunk("b.htm", "??"); // Position 0: before the scan for index 1 starts.
    tables.AddChunk("a.htm", "aa");
    tables.AddChunk("b.htm", "bbb");
    tables.AddChunk("c.htm", "c");
    tables.AddChunk("b.htm", "BB"); // After another file's run: still part of b.htm.
    std::string bytes;
    std::int32_t size = 0;
    ASSERT_TRUE(Retrieve(tables, 1, bytes, size));
    EXPECT_EQ(bytes, "bbbBB");
    ASSERT_TRUE(Retrieve(tables, 0, bytes, size));
    EXPECT_EQ(bytes, "aa");
}

TEST(RetrieveResource, RunsThatDoNotFitTheirBufferNeverWritePastIt) {
    const std::string stream = Compress(Sample(400, 6));
    const auto streamSize = static_cast<std::int32_t>(stream.size());
    TestTables tables;
    // A compressed run with one chunk too many for its staging buffer.
    tables.AddFile("over.dll", 400, streamSize, stream);
    tables.AddChunk("over.dll", "0123456789");
    // A negative length.
    tables.AddEntry("negative.dll", 4, 0);
    tables.AddChunk("negative.dll", "ab");
    tables.AddChunkWithLength("negative.dll", "cd", -2);
    std::string bytes;
    std::int32_t size = 0;
    EXPECT_FALSE(Retrieve(tables, 0, bytes, size));
    EXPECT_FALSE(Retrieve(tables, 1, bytes, size));
}

TEST(RetrieveResource, FailedAllocationsGiveNullAndReleaseTheOtherBuffer) {
    const std::string stream = Compress(Sample(300, 7));
    TestTables tables;
    tables.AddFile("packed.dll", 300, static_cast<std::int32_t>(stream.size()), stream);
    tables.AddFile("plain.htm", 3, 0, "abc");
    std::int32_t size = 9;
    for (int failing : {1, 2}) { // The output buffer, then the staging buffer.
        FakeHost fake;
        platform::ScopedHost guard(fake);
        fake.failingAllocations = {failing};
        EXPECT_EQ(RetrieveResource(tables.Resources(), tables.Chunks(), 2, 0, &size), nullptr);
    }
    FakeHost fake;
    platform::ScopedHost guard(fake);
    fake.failingAllocations = {1};
    EXPECT_EQ(RetrieveResource(tables.Resources(), tables.Chunks(), 2, 1, &size), nullptr);
    EXPECT_EQ(size, 9);
}
