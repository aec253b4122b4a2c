// Tests of writing every embedded file to disk, in the launch and the dump mode: the payload
// compiled into the launcher, and small tables of the tests' own in which one file is spoilt or one
// file operation fails.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "MXVLaunch/embedded_payload.h"
#include "MXVLaunch/launch.h"
#include "payload/extract_files.h"
#include "payload/payload_tables.h"
#include "tests/support/fake_host.h"
#include "tests/support/test_tables.h"

using testing_support::FakeHost;
using testing_support::ReadFileBytes;
using testing_support::TestTables;

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

std::string ErrorLine(std::uint32_t i, const std::string& name) {
    return "Error retrieving resource #" + std::to_string(i) + "(" + name + ")\n";
}

std::string Sample(std::size_t size, unsigned seed) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        text += static_cast<char>((i % 5 == 0) ? (seed >> 16) : 'a' + (i % 11));
    }
    return text;
}

const char kDvt[] = "C:\\Users\\u\\DVT";

} // namespace

TEST(ExtractBinaries, LaunchModeRefusesWithoutTheDirectoryAndTouchesNothing) {
    FakeHost fake;
    fake.consoleAttached = true;
    platform::ScopedHost guard(fake);
    TestLaunch launch;
    launch.executionDirectory = kDvt;
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
    launch.executionDirectory = kDvt;
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

// --- One file of a small payload fails: the faults, each in a fresh fixture ---

namespace {

// How the middle one of three files fails.
enum class Fault {
    ShortWrite,    // the system writes only part of the buffer (a full disk)
    FailedClose,   // the close reports that the data did not reach the disk
    FailedOpen,    // the file cannot be created
    DamagedStream, // the library refuses the file's stream
    FileTooLarge,  // the stream holds more than the entry's size
    CutStream,     // the stream lacks its last chunk
};

struct FaultCase {
    const char* name;
    Fault fault;
    // Whether the file was rebuilt (and so listed in the dump before it was opened).
    bool rebuilt;
    // Whether the file was opened (and so must be deleted again) before it failed.
    bool opened;
};

const FaultCase kFaultCases[] = {
    {"ShortWrite", Fault::ShortWrite, true, true},
    {"FailedClose", Fault::FailedClose, true, true},
    {"FailedOpen", Fault::FailedOpen, true, false},
    {"DamagedStream", Fault::DamagedStream, false, false},
    {"FileTooLarge", Fault::FileTooLarge, false, false},
    {"CutStream", Fault::CutStream, false, false},
};

void PrintTo(const FaultCase& fault, std::ostream* out) {
    *out << fault.name;
}

const char* const kNames[] = {"first.dll", "faulty.dll", "last.htm"};

class OneFileFails : public ::testing::TestWithParam<FaultCase> {
protected:
    void SetUp() override {
        for (std::size_t i = 0; i < 3; ++i) {
            contents_.push_back(Sample(3000 + 700 * i, static_cast<unsigned>(i + 1)));
        }
        tables_.AddCompressedFile(kNames[0], contents_[0]);
        switch (GetParam().fault) {
        case Fault::DamagedStream:
            tables_.AddDamagedStream(kNames[1], contents_[1]);
            break;
        case Fault::FileTooLarge:
            tables_.AddFileTooLarge(kNames[1], contents_[1]);
            break;
        case Fault::CutStream:
            tables_.AddCutStream(kNames[1], contents_[1]);
            break;
        default:
            tables_.AddCompressedFile(kNames[1], contents_[1]);
            break;
        }
        tables_.AddStoredFile(kNames[2], contents_[2]);
        fake_.consoleAttached = true;
    }

    // Arranges the host fault for a file at path.
    void BreakHostFor(const std::string& path) {
        switch (GetParam().fault) {
        case Fault::ShortWrite:
            fake_.shortWritePaths.insert(path);
            break;
        case Fault::FailedClose:
            fake_.failingClosePaths.insert(path);
            break;
        case Fault::FailedOpen:
            fake_.unopenablePaths.insert(path);
            break;
        default:
            break;
        }
    }

    bool Called(const std::string& call) const {
        return std::find(fake_.calls.begin(), fake_.calls.end(), call) != fake_.calls.end();
    }

    TestTables tables_;
    std::vector<std::string> contents_;
    FakeHost fake_;
    platform::ScopedHost guard_{fake_};
};

} // namespace

TEST_P(OneFileFails, LaunchModeFailsAndLeavesNoFileBehind) {
    const std::string faulty = std::string(kDvt) + "\\" + kNames[1];
    BreakHostFor(faulty);
    launcher::ScopedPayload payload({tables_.Resources(), tables_.Chunks(), tables_.Count()});
    TestLaunch launch;
    launch.executionDirectory = kDvt;
    launch.directoryCreated = true;
    EXPECT_FALSE(launch.ExtractBinaries(false));
    EXPECT_FALSE(launch.binariesExtracted) << "the utility must not be started";
    EXPECT_EQ(fake_.standardError, ErrorLine(1, kNames[1]));
    EXPECT_TRUE(fake_.files.empty()) << "neither the faulty file nor the whole ones stay";
    EXPECT_EQ(fake_.OpenHandleCount(), 0u);
    // The files before and after the faulty one were written whole, then deleted again.
    EXPECT_TRUE(Called("delete " + std::string(kDvt) + "\\" + kNames[0]));
    EXPECT_TRUE(Called("delete " + std::string(kDvt) + "\\" + kNames[2]));
    EXPECT_EQ(Called("delete " + faulty), GetParam().opened);
    EXPECT_EQ(fake_.console, "");
}

TEST_P(OneFileFails, DumpModeKeepsTheWholeFilesAndReportsTheFaultyOne) {
    BreakHostFor(kNames[1]);
    launcher::ScopedPayload payload({tables_.Resources(), tables_.Chunks(), tables_.Count()});
    TestLaunch launch;
    EXPECT_TRUE(launch.ExtractBinaries(true));
    EXPECT_TRUE(launch.binariesExtracted);
    EXPECT_EQ(fake_.standardError, ErrorLine(1, kNames[1]));
    ASSERT_EQ(fake_.files.size(), 2u);
    EXPECT_EQ(fake_.files[kNames[0]], contents_[0]);
    EXPECT_EQ(fake_.files[kNames[2]], contents_[2]);
    EXPECT_EQ(fake_.paths.count(kNames[1]), 0u) << "no empty or truncated file";
    // A file that could not be rebuilt is not listed; one that failed on disk was listed first.
    const std::string listed = std::string(kNames[1]) + "\r\n";
    EXPECT_EQ(fake_.console.find(listed) != std::string::npos, GetParam().rebuilt);
    EXPECT_EQ(fake_.OpenHandleCount(), 0u);
    // A file that failed to open is never written to or closed.
    if (GetParam().fault == Fault::FailedOpen) {
        EXPECT_FALSE(Called("close " + std::string(kNames[1])));
        EXPECT_FALSE(Called("delete " + std::string(kNames[1])));
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, OneFileFails, ::testing::ValuesIn(kFaultCases),
                         [](const ::testing::TestParamInfo<FaultCase>& testCase) {
                             return std::string(testCase.param.name);
                         });

// --- The payload function itself ---

TEST(ExtractFiles, EveryFileFailingGivesOneLineEachAndNothingOnDisk) {
    FakeHost fake;
    platform::ScopedHost guard(fake);
    TestTables tables;
    std::string expected;
    for (std::uint32_t i = 0; i < kResourceCount; ++i) {
        const std::string name = "file" + std::to_string(i) + ".dll";
        tables.AddDamagedStream(name, Sample(2000, i + 7));
        expected += ErrorLine(i, name);
    }
    payload::ExtractOptions options;
    options.directory = kDvt;
    options.allOrNothing = true;
    const payload::ExtractResult result =
        payload::ExtractFiles(tables.Resources(), tables.Chunks(), tables.Count(), options);
    EXPECT_EQ(result.failures, kResourceCount);
    EXPECT_TRUE(result.written.empty());
    EXPECT_EQ(fake.standardError, expected);
    EXPECT_TRUE(fake.files.empty());
}

TEST(ExtractFiles, AWholeFileThatCannotBeTakenBackStaysListed) {
    FakeHost fake;
    platform::ScopedHost guard(fake);
    TestTables tables;
    tables.AddStoredFile("kept.dll", Sample(100, 1));
    tables.AddStoredFile("gone.dll", Sample(100, 2));
    tables.AddDamagedStream("bad.dll", Sample(2000, 3));
    fake.lockedPaths["D\\kept.dll"] = -1;
    payload::ExtractOptions options;
    options.directory = "D";
    options.allOrNothing = true;
    const payload::ExtractResult result =
        payload::ExtractFiles(tables.Resources(), tables.Chunks(), tables.Count(), options);
    EXPECT_EQ(result.failures, 1u);
    EXPECT_EQ(result.written, std::vector<std::string>{"D\\kept.dll"});
    EXPECT_EQ(fake.files.count("D\\kept.dll"), 1u);
    EXPECT_EQ(fake.files.count("D\\gone.dll"), 0u);

    // Without all-or-nothing, the whole files are reported in table order and stay.
    FakeHost second;
    platform::ScopedHost secondGuard(second);
    options.allOrNothing = false;
    const payload::ExtractResult kept =
        payload::ExtractFiles(tables.Resources(), tables.Chunks(), tables.Count(), options);
    EXPECT_EQ(kept.failures, 1u);
    EXPECT_EQ(kept.written, (std::vector<std::string>{"D\\kept.dll", "D\\gone.dll"}));
    EXPECT_EQ(second.files.size(), 2u);
}
