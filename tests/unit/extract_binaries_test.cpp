// Tests of writing every embedded file to disk, in the launch and the dump mode.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "MXVLaunch/launch.h"
#include "payload/payload_tables.h"
#include "tests/support/fake_host.h"
#include "tests/support/test_tables.h"

using testing_support::FakeHost;
using testing_support::ReadFileBytes;

namespace {

// A Launch whose own steps are never called here.
class TestLaunch : public Launch {
public:
    bool CreateExecutionDirectory() override { return false; }
    bool RemoveExecutionDirectory() override { return false; }
    bool CheckSystem() override { return false; }
    bool StartTool() override { return false; }
};

std::string Expected(std::uint32_t i) {
    return ReadFileBytes(std::string(MXV_TEST_PAYLOAD_DIR) + "/" + ResourceTable[i].name);
}

std::string ErrorLine(std::uint32_t i) {
    return "Error retrieving resource #" + std::to_string(i) + "(" + ResourceTable[i].name + ")\n";
}

} // namespace

TEST(ExtractBinaries, LaunchModeRefusesWithoutTheDirectoryAndTouchesNothing) {
    FakeHost fake;
    fake.consoleAttached = true;
    platform::ScopedHost guard(fake);
    TestLaunch launch;
    launch.executionDirectory = "C:\\Users\\u\\DVT";
    EXPECT_FALSE(launch.ExtractBinaries(false));
    EXPECT_FALSE(launch.binariesExtracted);
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(fake.allocationCount, 0);
    EXPECT_EQ(fake.console, "");
    EXPECT_EQ(fake.standardError, "");
}

TEST(ExtractBinaries, LaunchModeWritesEveryFileIntoTheExecutionDirectory) {
    FakeHost fake;
    fake.consoleAttached = true;
    platform::ScopedHost guard(fake);
    TestLaunch launch;
    launch.executionDirectory = "C:\\Users\\u\\DVT";
    launch.directoryCreated = true;
    EXPECT_TRUE(launch.ExtractBinaries(false));
    EXPECT_TRUE(launch.binariesExtracted);
    ASSERT_EQ(fake.files.size(), kResourceCount);
    for (std::uint32_t i = 0; i < kResourceCount; ++i) {
        const std::string path = launch.executionDirectory + "\\" + ResourceTable[i].name;
        ASSERT_EQ(fake.files.count(path), 1u) << path;
        EXPECT_EQ(fake.files[path], Expected(i)) << path;
        // One open, one write of the whole file, one close, in that order.
        EXPECT_EQ(fake.calls[3 * i], "open " + path);
        EXPECT_EQ(fake.calls[3 * i + 1],
                  "write " + path + " " + std::to_string(Expected(i).size()));
        EXPECT_EQ(fake.calls[3 * i + 2], "close " + path);
    }
    EXPECT_EQ(fake.console, "") << "the launch mode lists nothing";
    EXPECT_EQ(fake.standardError, "");
    EXPECT_EQ(fake.OpenHandleCount(), 0u);
}

TEST(ExtractBinaries, DumpModeWritesBareNamesAndListsThemWithCrLf) {
    FakeHost fake;
    fake.consoleAttached = true;
    platform::ScopedHost guard(fake);
    TestLaunch launch;
    launch.executionDirectory = "C:\\ignored";
    std::string listing;
    for (std::uint32_t i = 0; i < kResourceCount; ++i) {
        listing += std::string(ResourceTable[i].name) + "\r\n";
    }
    EXPECT_TRUE(launch.ExtractBinaries(true));
    EXPECT_TRUE(launch.binariesExtracted);
    EXPECT_EQ(fake.console, listing);
    for (std::uint32_t i = 0; i < kResourceCount; ++i) {
        EXPECT_EQ(fake.files[ResourceTable[i].name], Expected(i));
    }
    EXPECT_EQ(fake.files.size(), kResourceCount);
}

TEST(ExtractBinaries, FilesThatCannotBeRebuiltOrWrittenGetOneErrorLineEach) {
    FakeHost fake;
    fake.consoleAttached = true;
    platform::ScopedHost guard(fake);
    // Every file of the payload is compressed and asks for its output buffer, then its staging
    // buffer. File 3 loses its output buffer (allocation 7) and so asks for no staging buffer; file
    // 5 loses its staging buffer (allocation 11).
    fake.failingAllocations = {7, 11};
    fake.unopenablePaths = {ResourceTable[8].name};
    fake.shortWritePaths = {ResourceTable[9].name};
    TestLaunch launch;
    EXPECT_TRUE(launch.ExtractBinaries(true));
    EXPECT_TRUE(launch.binariesExtracted);
    EXPECT_EQ(fake.standardError, ErrorLine(3) + ErrorLine(5) + ErrorLine(8) + ErrorLine(9));
    // Files that were not rebuilt are neither listed nor opened; the ones that failed to write were
    // listed before the attempt.
    EXPECT_EQ(fake.console.find(ResourceTable[3].name), std::string::npos);
    EXPECT_EQ(fake.console.find(ResourceTable[5].name), std::string::npos);
    EXPECT_NE(fake.console.find(std::string(ResourceTable[8].name) + "\r\n"), std::string::npos);
    EXPECT_EQ(fake.files.count(ResourceTable[3].name), 0u);
    EXPECT_EQ(fake.files.count(ResourceTable[8].name), 0u);
    for (const std::string& call : fake.calls) {
        EXPECT_NE(call, std::string("write ") + ResourceTable[8].name + " 0");
        EXPECT_NE(call, std::string("close ") + ResourceTable[8].name);
    }
    EXPECT_EQ(fake.files.count(ResourceTable[10].name), 1u) << "later files still come";
    EXPECT_EQ(fake.OpenHandleCount(), 0u);
}

TEST(ExtractBinaries, AllElevenFailingStillReturnsTrue) {
    FakeHost fake;
    platform::ScopedHost guard(fake);
    for (int n = 1; n <= 22; ++n) {
        fake.failingAllocations.insert(n);
    }
    TestLaunch launch;
    launch.directoryCreated = true;
    EXPECT_TRUE(launch.ExtractBinaries(false));
    std::string expected;
    for (std::uint32_t i = 0; i < kResourceCount; ++i) {
        expected += ErrorLine(i);
    }
    EXPECT_EQ(fake.standardError, expected);
    EXPECT_TRUE(fake.files.empty());
}

TEST(ExtractBinaries, DumpOnTheRealDiskOverwritesAndTruncates) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("mxv-extract-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    for (std::uint32_t i = 0; i < kResourceCount; ++i) {
        std::ofstream(ResourceTable[i].name, std::ios::binary)
            << std::string(Expected(i).size() + 1000, 'x');
    }
    TestLaunch launch;
    const bool result = launch.ExtractBinaries(true);
    fs::current_path(previous);
    EXPECT_TRUE(result);
    for (std::uint32_t i = 0; i < kResourceCount; ++i) {
        EXPECT_EQ(ReadFileBytes((dir / ResourceTable[i].name).string()), Expected(i))
            << ResourceTable[i].name;
    }
    fs::remove_all(dir);
}
