// Tests of the stand-in utility's platform-independent part: the knobs, the report format, the hold
// command line, and the run sequence against a scripted system with a simulated clock.
#include "standins/utility/utility_core.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace {

using standin::DirectoryEntry;
using standin::Knobs;
using standin::Observation;

Knobs ParseFrom(const std::map<std::string, std::string>& variables) {
    return standin::ParseKnobs([&variables](const std::string& name, std::string& value) {
        const auto found = variables.find(name);
        if (found == variables.end()) {
            return false;
        }
        value = found->second;
        return true;
    });
}

TEST(StandinKnobs, DefaultsAndPlainValues) {
    const Knobs none = ParseFrom({});
    EXPECT_EQ(none.reportPath, "");
    EXPECT_EQ(none.exitCode, 0u);
    EXPECT_EQ(none.startedPath, "");
    EXPECT_EQ(none.waitForPath, "");
    EXPECT_FALSE(none.HoldRequested());
    EXPECT_TRUE(none.warnings.empty());

    const Knobs all = ParseFrom({{"NQVQLAR_REPORT", "C:\\out\\report.txt"},
                                 {"NQVQLAR_EXIT_CODE", "42"},
                                 {"NQVQLAR_STARTED", "started.flag"},
                                 {"NQVQLAR_WAIT_FOR", "/tmp/release"},
                                 {"NQVQLAR_HOLD_FILE", "TraceLib.dll"},
                                 {"NQVQLAR_HOLD_SECONDS", "7"}});
    EXPECT_EQ(all.reportPath, "C:\\out\\report.txt");
    EXPECT_EQ(all.exitCode, 42u);
    EXPECT_EQ(all.startedPath, "started.flag");
    EXPECT_EQ(all.waitForPath, "/tmp/release");
    EXPECT_TRUE(all.HoldRequested());
    EXPECT_EQ(all.holdFile, "TraceLib.dll");
    EXPECT_EQ(all.holdSeconds, 7u);
    EXPECT_TRUE(all.warnings.empty());

    // An empty variable counts as not given, without a complaint.
    const Knobs empty = ParseFrom({{"NQVQLAR_REPORT", ""},
                                   {"NQVQLAR_EXIT_CODE", ""},
                                   {"NQVQLAR_HOLD_FILE", ""},
                                   {"NQVQLAR_HOLD_SECONDS", ""}});
    EXPECT_EQ(empty.reportPath, "");
    EXPECT_EQ(empty.exitCode, 0u);
    EXPECT_FALSE(empty.HoldRequested());
    EXPECT_TRUE(empty.warnings.empty());
}

TEST(StandinKnobs, ExitCodeAcceptsDecimalAndHexadecimalUpTo32Bits) {
    const std::map<std::string, std::uint32_t> good = {
        {"0", 0u},      {"255", 255u}, {"4294967295", 4294967295u}, {"0xC0000005", 0xC0000005u},
        {"0Xff", 255u}, {"007", 7u}};
    for (const auto& [text, expected] : good) {
        const Knobs knobs = ParseFrom({{"NQVQLAR_EXIT_CODE", text}});
        EXPECT_EQ(knobs.exitCode, expected) << text;
        EXPECT_TRUE(knobs.warnings.empty()) << text;
    }
    const std::vector<std::string> bad = {"4294967296",  "99999999999999999999999",
                                          "-1",          "+1",
                                          " 3",          "3 ",
                                          "0x",          "0x1G",
                                          "0x100000000", "abc",
                                          "1.5"};
    for (const std::string& text : bad) {
        const Knobs knobs = ParseFrom({{"NQVQLAR_EXIT_CODE", text}});
        EXPECT_EQ(knobs.exitCode, 0u) << text;
        ASSERT_EQ(knobs.warnings.size(), 1u) << text;
        EXPECT_EQ(knobs.warnings[0],
                  "NQVQLAR_EXIT_CODE=" + text + " is not a number from 0 to 4294967295; using 0");
    }
}

TEST(StandinKnobs, HoldNeedsAPlainNameAndASensibleDuration) {
    const Knobs fileOnly = ParseFrom({{"NQVQLAR_HOLD_FILE", "TraceLib.dll"}});
    EXPECT_FALSE(fileOnly.HoldRequested());
    EXPECT_EQ(fileOnly.holdFile, "");
    ASSERT_EQ(fileOnly.warnings.size(), 1u);
    EXPECT_EQ(fileOnly.warnings[0],
              "NQVQLAR_HOLD_FILE and NQVQLAR_HOLD_SECONDS work only together; holding nothing");

    const Knobs secondsOnly = ParseFrom({{"NQVQLAR_HOLD_SECONDS", "5"}});
    EXPECT_FALSE(secondsOnly.HoldRequested());
    EXPECT_EQ(secondsOnly.warnings.size(), 1u);

    for (const std::string seconds : {"0", "3601", "-5", "5s", "0x10"}) {
        const Knobs knobs =
            ParseFrom({{"NQVQLAR_HOLD_FILE", "TraceLib.dll"}, {"NQVQLAR_HOLD_SECONDS", seconds}});
        EXPECT_FALSE(knobs.HoldRequested()) << seconds;
        ASSERT_EQ(knobs.warnings.size(), 1u) << seconds;
        EXPECT_EQ(knobs.warnings[0], "NQVQLAR_HOLD_SECONDS=" + seconds +
                                         " is not a number from 1 to 3600; holding nothing");
    }
    const Knobs longest =
        ParseFrom({{"NQVQLAR_HOLD_FILE", "a.dll"}, {"NQVQLAR_HOLD_SECONDS", "3600"}});
    EXPECT_TRUE(longest.HoldRequested());
    EXPECT_EQ(longest.holdSeconds, 3600u);

    for (const std::string name :
         {"..\\TraceLib.dll", "sub/TraceLib.dll", "C:\\x.dll", ".", ".."}) {
        const Knobs knobs = ParseFrom({{"NQVQLAR_HOLD_FILE", name}, {"NQVQLAR_HOLD_SECONDS", "5"}});
        EXPECT_FALSE(knobs.HoldRequested()) << name;
        ASSERT_EQ(knobs.warnings.size(), 1u) << name;
        EXPECT_EQ(knobs.warnings[0],
                  "NQVQLAR_HOLD_FILE=" + name + " is not a plain file name; holding nothing");
    }
}

TEST(StandinReport, ListsEverythingInAFixedOrderWithEscapedValues) {
    Observation observation;
    observation.currentDirectory = "C:\\users\\tester\\DVT";
    observation.commandLine = "";
    observation.fullCommandLine = "\"C:\\users\\tester\\DVT\\NQVQlar.exe\"";
    observation.executablePath = "C:\\users\\tester\\DVT\\NQVQlar.exe";
    observation.entries = {{"msvcr90.dll", false, 12},    {"sub", true, 0},
                           {"NQVQlar.exe", false, 4096},  {"Archive", true, 0},
                           {"Ze2ConfTest.dll", false, 0}, {"ZeConfTest.dll", false, 5000000000ull}};
    observation.warnings = {"first", "second"};
    EXPECT_EQ(standin::FormatReport(observation),
              "nqvqlar-report=1\n"
              "cwd=C:\\users\\tester\\DVT\n"
              "cmdline=[]\n"
              "fullcmdline=[\"C:\\users\\tester\\DVT\\NQVQlar.exe\"]\n"
              "exe=C:\\users\\tester\\DVT\\NQVQlar.exe\n"
              "file=NQVQlar.exe size=4096\n"
              "file=Ze2ConfTest.dll size=0\n"
              "file=ZeConfTest.dll size=5000000000\n"
              "file=msvcr90.dll size=12\n"
              "dir=Archive\n"
              "dir=sub\n"
              "warning=first\n"
              "warning=second\n"
              "end\n");

    // Control characters and the escape character itself never break a line.
    Observation odd;
    odd.currentDirectory = "/tmp/a%b";
    odd.commandLine = "one\ntwo\rthree\tfour\x7f";
    odd.entries = {{"new\nline", false, 1}};
    const std::string report = standin::FormatReport(odd);
    EXPECT_NE(report.find("cwd=/tmp/a%25b\n"), std::string::npos) << report;
    EXPECT_NE(report.find("cmdline=[one%0Atwo%0Dthree%09four%7F]\n"), std::string::npos) << report;
    EXPECT_NE(report.find("file=new%0Aline size=1\n"), std::string::npos) << report;
    EXPECT_EQ(standin::EscapeValue("plain \\ text=[]\"\xe4"), "plain \\ text=[]\"\xe4");
    EXPECT_EQ(standin::EscapeValue(std::string("\0\x1f", 2)), "%00%1F");
}

TEST(StandinHoldCommand, AcceptsOnlyTheHelperForm) {
    std::uint32_t seconds = 99;
    EXPECT_TRUE(standin::ParseHoldCommand("--hold 5", seconds));
    EXPECT_EQ(seconds, 5u);
    EXPECT_TRUE(standin::ParseHoldCommand("  --hold\t3600 ", seconds));
    EXPECT_EQ(seconds, 3600u);

    seconds = 99;
    for (const std::string text :
         {"", "--hold", "--hold ", "--hold 0", "--hold 3601", "--hold5", "--hold 5 6", "--hold x",
          "--holder 5", "x --hold 5", "--HOLD 5", "\"C:\\NQVQlar.exe\" --hold 5"}) {
        EXPECT_FALSE(standin::ParseHoldCommand(text, seconds)) << text;
    }
    EXPECT_EQ(seconds, 99u);
}

TEST(StandinPaths, DirectoryOfHandlesBothSeparatorsAndRoots) {
    EXPECT_EQ(standin::DirectoryOf("C:\\users\\tester\\DVT\\NQVQlar.exe"),
              "C:\\users\\tester\\DVT");
    EXPECT_EQ(standin::DirectoryOf("/home/tester/DVT/NQVQlar.exe"), "/home/tester/DVT");
    EXPECT_EQ(standin::DirectoryOf("C:/mixed\\dir/NQVQlar.exe"), "C:/mixed\\dir");
    EXPECT_EQ(standin::DirectoryOf("C:\\NQVQlar.exe"), "C:\\");
    EXPECT_EQ(standin::DirectoryOf("/NQVQlar.exe"), "/");
    EXPECT_EQ(standin::DirectoryOf("NQVQlar.exe"), ".");
    EXPECT_EQ(standin::DirectoryOf(""), ".");
}

// A scripted system: a fixed environment and directory, a clock that moves only when the utility
// sleeps, and a log of every effect in the order it happened.
class ScriptedSystem : public standin::System {
public:
    std::map<std::string, std::string> environment;
    std::string executablePath = "/opt/DVT/NQVQlar.exe";
    std::vector<DirectoryEntry> entries = {{"TraceLib.dll", false, 10}, {"NQVQlar.exe", false, 20}};
    bool listingWorks = true;
    std::string failWritePath;
    bool openWorks = true;
    bool startWorks = true;
    // The waited-for file appears after this many pauses; never, by default.
    unsigned appearsAfterSleeps = UINT_MAX;
    std::uint32_t now = 1000;

    std::vector<std::string> log;
    std::map<std::string, std::string> written;
    unsigned sleeps = 0;

    bool GetEnvironment(const std::string& name, std::string& value) override {
        const auto found = environment.find(name);
        if (found == environment.end()) {
            return false;
        }
        value = found->second;
        return true;
    }
    std::string CurrentDirectory() override { return "/work/here"; }
    std::string ExecutablePath() override { return executablePath; }
    char PathSeparator() override { return '/'; }
    bool ListDirectory(const std::string& dir, std::vector<DirectoryEntry>& out) override {
        log.push_back("list " + dir);
        if (!listingWorks) {
            out.push_back({"partial", false, 1});
            return false;
        }
        out = entries;
        return true;
    }
    bool WriteWholeFile(const std::string& path, const std::string& bytes) override {
        log.push_back("write " + path);
        if (path == failWritePath) {
            return false;
        }
        written[path] = bytes;
        return true;
    }
    bool Exists(const std::string& path) override {
        return path == environment["NQVQLAR_WAIT_FOR"] && sleeps >= appearsAfterSleeps;
    }
    void SleepMilliseconds(std::uint32_t milliseconds) override {
        ++sleeps;
        EXPECT_EQ(milliseconds, standin::kWaitPollMilliseconds);
        now += milliseconds;
    }
    std::uint32_t TickMilliseconds() override { return now; }
    bool OpenHeldFile(const std::string& path, std::string& error) override {
        log.push_back("open " + path);
        error = "no such file";
        return openWorks;
    }
    bool StartHolder(std::uint32_t seconds, std::string& error) override {
        log.push_back("holder " + std::to_string(seconds) + " at " + std::to_string(now));
        error = "no processes left";
        return startWorks;
    }
    void WriteError(const std::string& text) override { log.push_back("error " + text); }
};

TEST(StandinRun, WritesReportThenMarkerThenWaitsThenHandsOverTheHold) {
    ScriptedSystem system;
    system.environment = {
        {"NQVQLAR_REPORT", "/out/report"},     {"NQVQLAR_STARTED", "/out/started"},
        {"NQVQLAR_WAIT_FOR", "/out/release"},  {"NQVQLAR_EXIT_CODE", "0x103"},
        {"NQVQLAR_HOLD_FILE", "TraceLib.dll"}, {"NQVQLAR_HOLD_SECONDS", "9"}};
    system.appearsAfterSleeps = 10;

    EXPECT_EQ(standin::RunUtility(system, "", "/opt/DVT/NQVQlar.exe"), 0x103u);

    EXPECT_EQ(system.log, (std::vector<std::string>{"list /work/here", "open /opt/DVT/TraceLib.dll",
                                                    "write /out/report", "write /out/started",
                                                    "holder 9 at 1500"}));
    EXPECT_EQ(system.sleeps, 10u);
    EXPECT_EQ(system.written["/out/started"], "");
    EXPECT_EQ(system.written["/out/report"], "nqvqlar-report=1\n"
                                             "cwd=/work/here\n"
                                             "cmdline=[]\n"
                                             "fullcmdline=[/opt/DVT/NQVQlar.exe]\n"
                                             "exe=/opt/DVT/NQVQlar.exe\n"
                                             "file=NQVQlar.exe size=20\n"
                                             "file=TraceLib.dll size=10\n"
                                             "end\n");
}

// A wait for a file that never appears, with the clock starting at the parameter: once early, and
// once so close to the end of its 32-bit range that it wraps during the wait.
class StandinWaitLimit : public ::testing::TestWithParam<std::uint32_t> {
protected:
    ScriptedSystem system_;
};

TEST_P(StandinWaitLimit, WaitingGivesUpAfterTheLimit) {
    const std::uint32_t start = GetParam();
    system_.now = start;
    system_.environment = {{"NQVQLAR_WAIT_FOR", "/out/release"},
                           {"NQVQLAR_EXIT_CODE", "3"},
                           {"NQVQLAR_HOLD_FILE", "TraceLib.dll"},
                           {"NQVQLAR_HOLD_SECONDS", "2"}};

    EXPECT_EQ(standin::RunUtility(system_, "a b", "x a b"), 3u);

    EXPECT_EQ(system_.sleeps, standin::kWaitLimitMilliseconds / standin::kWaitPollMilliseconds);
    EXPECT_EQ(static_cast<std::uint32_t>(system_.now - start), standin::kWaitLimitMilliseconds);
    ASSERT_EQ(system_.log.size(), 4u);
    EXPECT_EQ(system_.log[2], "error NQVQlar: gave up waiting for /out/release");
    // The hold is still handed over after a wait that timed out.
    EXPECT_EQ(system_.log[3].rfind("holder 2 at ", 0), 0u) << system_.log[3];
}

INSTANTIATE_TEST_SUITE_P(ClockStarts, StandinWaitLimit,
                         ::testing::Values(1000u, UINT32_MAX - 30000u));

TEST(StandinRun, AFileThatIsThereFromTheStartCostsNoWait) {
    ScriptedSystem ready;
    ready.environment = {{"NQVQLAR_WAIT_FOR", "/out/release"}};
    ready.appearsAfterSleeps = 0;
    EXPECT_EQ(standin::RunUtility(ready, "", ""), 0u);
    EXPECT_EQ(ready.sleeps, 0u);
}

TEST(StandinRun, FailuresAreReportedWithoutChangingTheOutcome) {
    // Without knobs nothing is written and nothing waits.
    ScriptedSystem quiet;
    EXPECT_EQ(standin::RunUtility(quiet, "", ""), 0u);
    EXPECT_EQ(quiet.log, (std::vector<std::string>{"list /work/here"}));
    EXPECT_EQ(quiet.sleeps, 0u);

    // A listing or hold failure, and an unusable knob, land in the report; the helper is not
    // started for a file that could not be opened.
    ScriptedSystem broken;
    broken.listingWorks = false;
    broken.openWorks = false;
    broken.failWritePath = "/out/started";
    broken.environment = {{"NQVQLAR_REPORT", "/out/report"},
                          {"NQVQLAR_STARTED", "/out/started"},
                          {"NQVQLAR_EXIT_CODE", "x"},
                          {"NQVQLAR_HOLD_FILE", "Gone.dll"},
                          {"NQVQLAR_HOLD_SECONDS", "4"}};
    EXPECT_EQ(standin::RunUtility(broken, "--hold 4", ""), 0u);
    EXPECT_EQ(broken.log,
              (std::vector<std::string>{"list /work/here", "open /opt/DVT/Gone.dll",
                                        "write /out/report", "write /out/started",
                                        "error NQVQlar: cannot create the marker /out/started"}));
    const std::string report = broken.written["/out/report"];
    EXPECT_EQ(report.find("file="), std::string::npos) << report;
    EXPECT_NE(report.find("cmdline=[--hold 4]\n"), std::string::npos) << report;
    EXPECT_NE(report.find("warning=NQVQLAR_EXIT_CODE=x is not a number from 0 to 4294967295; "
                          "using 0\nwarning=cannot list /work/here\n"
                          "warning=cannot hold /opt/DVT/Gone.dll: no such file\nend\n"),
              std::string::npos)
        << report;

    // A report that cannot be written and a helper that cannot start go to standard error.
    ScriptedSystem stuck;
    stuck.startWorks = false;
    stuck.failWritePath = "/out/report";
    stuck.environment = {{"NQVQLAR_REPORT", "/out/report"},
                         {"NQVQLAR_EXIT_CODE", "255"},
                         {"NQVQLAR_HOLD_FILE", "TraceLib.dll"},
                         {"NQVQLAR_HOLD_SECONDS", "1"}};
    EXPECT_EQ(standin::RunUtility(stuck, "", ""), 255u);
    EXPECT_EQ(stuck.log,
              (std::vector<std::string>{
                  "list /work/here", "open /opt/DVT/TraceLib.dll", "write /out/report",
                  "error NQVQlar: cannot write the report /out/report", "holder 1 at 1000",
                  "error NQVQlar: cannot start the holder: no processes left"}));
}

} // namespace
