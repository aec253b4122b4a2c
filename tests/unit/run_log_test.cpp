// Tests of the run log: the entry's layout, and opening, writing and closing the file.
#include "MXVLaunch/run_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/calendar_time.h"
#include "tests/support/fake_host.h"
#include "tests/support/test_tables.h"

namespace fs = std::filesystem;
using testing_support::FakeHost;
using testing_support::ReadFileBytes;
using testing_support::Time;

namespace {

class RunLogFile : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("mxv-runlog-" + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "windows" / "Temp");
        fake_.windowsDirectory = (root_ / "windows").string();
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path root_;
    FakeHost fake_;
    platform::ScopedHost guard_{fake_};
};

} // namespace

TEST(RunLogEntry, HasTheBracketedCtimeStampAndTheConstantFields) {
    EXPECT_EQ(
        FormatLogEntry(Time(2025, 3, 5, 3, 9, 4, 7), "Successfully ran verification utility"),
        "[ Wed Mar  5 09:04:07 2025 ]\tENTRY: Successfully ran verification utility\t"
        "MODULE: MINI-LAUNCH\tLINE: 282\tFILE: c:\\cvs_mxv\\DVT\\SNQVV2\\SRC\\MXVLaunch\\main\n");
    // Days of 10 and more take both places; times always have two digits.
    EXPECT_EQ(CtimeText(Time(2024, 12, 31, 2, 23, 59, 0)), "Tue Dec 31 23:59:00 2024");
    EXPECT_EQ(CtimeText(Time(2026, 1, 1, 4, 0, 0, 9)), "Thu Jan  1 00:00:09 2026");
    EXPECT_EQ(CtimeText(Time(2026, 1, 1, 4, 0, 0, 9)).size(), 24u);
    // The constant fields do not follow the message.
    const std::string other = FormatLogEntry(Time(2025, 3, 5, 3, 9, 4, 7), "x");
    EXPECT_NE(other.find("ENTRY: x\tMODULE: MINI-LAUNCH\tLINE: 282\tFILE: "), std::string::npos);
}

TEST_F(RunLogFile, EachEntryIsOneAppendOfTheWholeLine) {
    const fs::path log = root_ / "windows" / "Temp" / "debug.log";
    std::ofstream(log) << "earlier line\n";
    RunLogStream stream;
    ASSERT_TRUE(OpenRunLog(stream));
    EXPECT_EQ(logFilePath, fake_.windowsDirectory + "\\Temp\\debug.log");
    EXPECT_EQ(fake_.calls, std::vector<std::string>{"open to append " + logFilePath});
    EXPECT_TRUE(WriteLogEntry(stream, "first"));
    EXPECT_TRUE(WriteLogEntry(stream, "second"));
    // One append per entry, each the whole line with its line end, nothing else.
    EXPECT_EQ(fake_.appends[logFilePath],
              (std::vector<std::string>{FormatLogEntry(fake_.now, "first"),
                                        FormatLogEntry(fake_.now, "second")}));
    // Each entry is on disk as soon as it is written, after what was there.
    EXPECT_EQ(ReadFileBytes(log.string()), "earlier line\n" + FormatLogEntry(fake_.now, "first") +
                                               FormatLogEntry(fake_.now, "second"));
    EXPECT_TRUE(CloseRunLog(stream));
    EXPECT_EQ(fake_.OpenHandleCount(), 0u);
    EXPECT_EQ(fake_.standardOutput, "");
}

TEST_F(RunLogFile, ALogThatDoesNotOpenDropsEveryEntryAndSaysSoOnce) {
    fs::remove(root_ / "windows" / "Temp");
    RunLogStream stream;
    EXPECT_TRUE(OpenRunLog(stream));
    EXPECT_TRUE(WriteLogEntry(stream, "lost"));
    EXPECT_TRUE(CloseRunLog(stream));
    EXPECT_EQ(fake_.standardOutput, "couldn't open log file\n");
    EXPECT_FALSE(fs::exists(root_ / "windows" / "Temp"));
    EXPECT_TRUE(fake_.appends.empty());

    // A system that does not name its Windows directory is no different.
    fake_.standardOutput.clear();
    fake_.windowsDirectory.clear();
    RunLogStream second;
    EXPECT_TRUE(OpenRunLog(second));
    EXPECT_EQ(fake_.standardOutput, "couldn't open log file\n");
    EXPECT_TRUE(WriteLogEntry(second, "lost"));
    EXPECT_TRUE(fake_.appends.empty());
}

TEST_F(RunLogFile, AWindowsDirectoryLongerThanTheBufferIsNeitherCutNorOverrun) {
    fs::path longDirectory = root_;
    for (int i = 0; i < 6; ++i) {
        longDirectory /= std::string(60, static_cast<char>('a' + i));
    }
    fs::create_directories(longDirectory / "Temp");
    fake_.windowsDirectory = longDirectory.string();
    ASSERT_GT(fake_.windowsDirectory.size(), 300u);
    RunLogStream stream;
    ASSERT_TRUE(OpenRunLog(stream));
    EXPECT_EQ(logFilePath, fake_.windowsDirectory + "\\Temp\\debug.log");
    EXPECT_TRUE(WriteLogEntry(stream, "long"));
    EXPECT_EQ(ReadFileBytes((longDirectory / "Temp" / "debug.log").string()),
              FormatLogEntry(fake_.now, "long"));
}

TEST_F(RunLogFile, FailedAppendsAndClosesKeepTheirResults) {
    RunLogStream stream;
    ASSERT_TRUE(OpenRunLog(stream));
    fake_.failingAppendPaths.insert(logFilePath);
    fake_.failingClosePaths.insert(logFilePath);
    // A failed append is no raised error; like a stream gone bad, the stream drops what follows.
    EXPECT_TRUE(WriteLogEntry(stream, "first"));
    EXPECT_TRUE(stream.Failed());
    EXPECT_TRUE(WriteLogEntry(stream, "second"));
    EXPECT_EQ(fake_.appends[logFilePath].size(), 1u) << "nothing is tried after the failure";
    EXPECT_TRUE(CloseRunLog(stream)) << "a close that fails without raising gives true";
    EXPECT_EQ(fake_.OpenHandleCount(), 0u);
    EXPECT_EQ(fake_.standardOutput, "");
}

TEST_F(RunLogFile, RaisedErrorsBecomeFalse) {
    fake_.windowsDirectoryThrows = true;
    RunLogStream stream;
    EXPECT_FALSE(OpenRunLog(stream));

    fake_.windowsDirectoryThrows = false;
    ASSERT_TRUE(OpenRunLog(stream));
    fake_.localTimeThrows = true;
    EXPECT_FALSE(WriteLogEntry(stream, "no clock"));

    fake_.closeThrows = true;
    EXPECT_FALSE(CloseRunLog(stream));
    fake_.closeThrows = false;
}

TEST_F(RunLogFile, TheStreamClosesItsFileWhenDestroyed) {
    {
        RunLogStream stream;
        ASSERT_TRUE(stream.Open(fake_.windowsDirectory + "\\Temp\\other.log"));
        EXPECT_FALSE(stream.Failed());
        EXPECT_EQ(fake_.OpenHandleCount(), 1u);
    }
    EXPECT_EQ(fake_.OpenHandleCount(), 0u);
    // A stream that was never opened writes nothing and turns failed.
    RunLogStream unopened;
    EXPECT_FALSE(unopened.Append("text\n"));
    EXPECT_TRUE(unopened.Failed());
    EXPECT_TRUE(unopened.Close());
}
