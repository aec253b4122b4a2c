// Tests of the run log: the entry's layout, and opening, writing and closing the file.
#include "MXVLaunch/run_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <numeric>
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

// The calendar's fields reach the entry as they stand, also on both sides of the moment when a
// 32-bit count of seconds runs out (19 January 2038, 03:14:07 UTC) and years after it.
TEST_F(RunLogFile, DatesFrom2038OnAreWrittenAsTheCalendarGivesThem) {
    const struct {
        platform::SystemTime now;
        const char* stamp;
    } cases[] = {
        {{2038, 1, 2, 19, 3, 14, 7, 0}, "[ Tue Jan 19 03:14:07 2038 ]"},
        {{2038, 1, 2, 19, 3, 14, 8, 999}, "[ Tue Jan 19 03:14:08 2038 ]"},
        {{2039, 12, 6, 31, 23, 59, 59, 0}, "[ Sat Dec 31 23:59:59 2039 ]"},
        {{2040, 2, 3, 29, 0, 0, 0, 0}, "[ Wed Feb 29 00:00:00 2040 ]"},
    };
    RunLogStream stream;
    ASSERT_TRUE(OpenRunLog(stream));
    for (const auto& c : cases) {
        fake_.now = c.now;
        EXPECT_TRUE(WriteLogEntry(stream, "later"));
        EXPECT_EQ(fake_.appends[logFilePath].back().substr(0, 28), c.stamp);
    }
}

// A turn held by another process is tried again after each pause, for about two seconds at most;
// then the entry goes out without it. Only a turn that was taken is given back, after the append.
TEST_F(RunLogFile, TheAppendTurnIsWaitedForAtMostAboutTwoSeconds) {
    // The tries that find the turn held (-1: all), whether the file has a turn at all, the tries
    // expected (0: any), the least and most milliseconds waited, and whether it is given back.
    const struct {
        int busyTries;
        bool noTurn;
        long tries;
        unsigned leastWait, mostWait;
        bool released;
    } cases[] = {{0, false, 1, 0, 0, true},
                 {3, false, 4, 1, 2000, true},
                 {-1, false, 0, 1500, 2000, false},
                 {0, true, 1, 0, 0, false}};
    RunLogStream stream;
    ASSERT_TRUE(OpenRunLog(stream));
    for (const auto& c : cases) {
        fake_.appendTurnBusyTries = c.busyTries;
        fake_.noAppendTurn = c.noTurn;
        fake_.calls.clear();
        fake_.pauses.clear();
        EXPECT_TRUE(WriteLogEntry(stream, "entry"));
        const auto& calls = fake_.calls;
        const long tries = std::count(calls.begin(), calls.end(), "try turn");
        EXPECT_EQ(tries, static_cast<long>(fake_.pauses.size()) + 1) << "a try after each pause";
        EXPECT_TRUE(c.tries == 0 || tries == c.tries) << tries;
        const unsigned waited = std::accumulate(fake_.pauses.begin(), fake_.pauses.end(), 0u);
        EXPECT_TRUE(waited >= c.leastWait && waited <= c.mostWait) << waited;
        std::vector<std::string> last = {"append " + logFilePath, "release turn"};
        last.resize(c.released ? 2 : 1);
        EXPECT_EQ(std::vector<std::string>(calls.end() - last.size(), calls.end()), last);
    }
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
