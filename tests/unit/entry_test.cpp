// Tests of the launcher's entry: switches, console modes, the launch sequence, the run-log entry,
// the failure notice and the exit code, against the fake host.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "MXVLaunch/embedded_payload.h"
#include "MXVLaunch/entry.h"
#include "MXVLaunch/run_log.h"
#include "payload/payload_tables.h"
#include "tests/unit/launcher_fixture.h"

using testing_support::LauncherTest;

namespace testing_support {
std::string LauncherTest::OneEntry(const std::string& message) const {
    return FormatLogEntry(fake_.now, message);
}
} // namespace testing_support

namespace {

int RunLauncher(const std::string& commandLine) {
    std::string text = commandLine;
    return launcher::WinMain(nullptr, nullptr, text.data(), 0);
}

std::string Notice(const std::string& logPath) {
    return "The application is about to shutdown due to an unrecoverable error. Please find a copy "
           "of the log file at " +
           logPath + " and contact Vardex for support.\n";
}

const std::string kRule(43, '=');

std::string DumpBanner() {
    return kRule + "\n=============== BINARY DUMP ===============\n" + kRule + "\n";
}

std::string FileList() {
    std::string list;
    for (std::uint32_t i = 0; i < kResourceCount; ++i) {
        list += std::string(ResourceTable[i].name) + "\r\n";
    }
    return list;
}

using Entry = LauncherTest;

} // namespace

TEST_F(Entry, ATypicalRunExtractsStartsRemovesAndLogsSuccess) {
    EXPECT_EQ(RunLauncher(""), 1);
    ASSERT_FALSE(fake_.calls.empty());
    EXPECT_EQ(fake_.calls.front(), "secure library search") << "before the log or any library";
    EXPECT_EQ(Log(), OneEntry("Successfully ran verification utility"));
    EXPECT_EQ(fake_.standardOutput, "");
    EXPECT_TRUE(fake_.messageBoxes.empty());
    ASSERT_EQ(fake_.started.size(), 1u);
    EXPECT_EQ(fake_.started[0].currentDirectory, dvt_);
    EXPECT_EQ(fake_.GetPathKind(dvt_), platform::PathKind::Missing) << "the directory is gone";
    EXPECT_TRUE(fake_.files.empty());
    EXPECT_EQ(fake_.console, "");
    EXPECT_FALSE(fake_.consoleAttached);
    // The launch never touches a console, not even for the prompt.
    for (const std::string& call : fake_.calls) {
        EXPECT_NE(call, "AllocConsole");
        EXPECT_NE(call, "ReadKey");
    }
}

TEST_F(Entry, ASecondRunAppendsASecondEntry) {
    EXPECT_EQ(RunLauncher(""), 1);
    EXPECT_EQ(RunLauncher(""), 1);
    EXPECT_EQ(Log(), OneEntry("Successfully ran verification utility") +
                         OneEntry("Successfully ran verification utility"));
}

// --- Each step of the launch failing, each case in a fresh fixture ---

namespace {

struct StepFailure {
    const char* name;
    const char* message;
    // Breaks the fake machine; dvt is the execution directory's path.
    std::function<void(testing_support::FakeHost&, const std::string& dvt)> arrange;
    // Whether the launch gets a payload whose second file's stream is damaged.
    bool damagedPayload = false;
    // Whether the step that failed comes before the start of the utility.
    bool beforeStart = true;
};

const StepFailure kStepFailures[] = {
    {"LockHeld", "System is not ready to launch verification utility",
     [](auto& fake, const auto&) { fake.heldMutexes.insert("MXVMiniLaunchLock"); }},
    {"UnsupportedSystem", "System is not ready to launch verification utility",
     [](auto& fake, const auto&) {
         fake.version.majorVersion = 6;
         fake.version.minorVersion = 1;
     }},
    {"DirectoryNotMade", "Failed to create verification utility execution directory",
     [](auto& fake, const auto& dvt) { fake.unmakeablePaths.insert(dvt); }},
    {"ShortWrite", "Failed to extract verification utility binaries",
     [](auto& fake, const auto& dvt) { fake.shortWritePaths.insert(dvt + "\\TraceLib.dll"); }},
    {"FailedClose", "Failed to extract verification utility binaries",
     [](auto& fake, const auto& dvt) { fake.failingClosePaths.insert(dvt + "\\msvcm90.dll"); }},
    {"RebuildFailure", "Failed to extract verification utility binaries", [](auto&, const auto&) {},
     true},
    {"StartFails", "Verification utility encountered problems during execution",
     [](auto& fake, const auto&) { fake.processStartFails = true; }, false, false},
    {"RemovalFails", "Failed to remove verification utility execution directory",
     [](auto& fake, const auto& dvt) { fake.lockedPaths[dvt + "\\TraceLib.dll"] = -1; }, false,
     false},
};

void PrintTo(const StepFailure& step, std::ostream* out) {
    *out << step.name;
}

class EntryStepFails : public LauncherTest, public ::testing::WithParamInterface<StepFailure> {};

} // namespace

TEST_P(EntryStepFails, LogsItsMessageAndTheNoticeAndExitsWithOne) {
    const StepFailure& step = GetParam();
    testing_support::TestTables tables;
    tables.AddCompressedFile("msvcm90.dll", std::string(5000, 'm'));
    tables.AddDamagedStream("NQVQlar.exe", std::string(5000, 'q'));
    std::unique_ptr<launcher::ScopedPayload> payload;
    if (step.damagedPayload) {
        payload = std::make_unique<launcher::ScopedPayload>(
            launcher::PayloadTables{tables.Resources(), tables.Chunks(), tables.Count()});
    }
    step.arrange(fake_, dvt_);
    EXPECT_EQ(RunLauncher(""), 1);
    EXPECT_EQ(Log(), OneEntry(step.message)) << "that step's entry and no success entry";
    EXPECT_EQ(fake_.standardOutput, Notice(logFilePath));
    if (step.beforeStart) {
        EXPECT_TRUE(fake_.started.empty()) << "nothing is started";
        EXPECT_TRUE(fake_.files.empty()) << "no file, whole or partial, is left";
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, EntryStepFails, ::testing::ValuesIn(kStepFailures),
                         [](const ::testing::TestParamInfo<StepFailure>& testCase) {
                             return std::string(testCase.param.name);
                         });

TEST_F(Entry, TheLogAndTheLaunchObjectFailingGiveZero) {
    fake_.windowsDirectoryThrows = true;
    EXPECT_EQ(RunLauncher(""), 0);
    EXPECT_EQ(fake_.standardOutput, "Failed to open log file\n");
    EXPECT_TRUE(fake_.started.empty());
    EXPECT_EQ(Log(), "");

    fake_.windowsDirectoryThrows = false;
    fake_.standardOutput.clear();
    fake_.everyAllocationFails = true;
    EXPECT_EQ(RunLauncher(""), 0);
    EXPECT_EQ(Log(), OneEntry("Failed to create Launch object"));
    EXPECT_EQ(fake_.standardOutput, "");
    EXPECT_TRUE(fake_.started.empty());
}

TEST_F(Entry, ALogThatDoesNotOpenChangesNothingElse) {
    std::filesystem::remove(root_ / "windows" / "Temp");
    EXPECT_EQ(RunLauncher(""), 1);
    EXPECT_EQ(fake_.standardOutput, "couldn't open log file\n");
    EXPECT_EQ(fake_.started.size(), 1u);

    fake_.standardOutput.clear();
    fake_.heldMutexes.insert("MXVMiniLaunchLock");
    EXPECT_EQ(RunLauncher(""), 1);
    EXPECT_EQ(fake_.standardOutput, "couldn't open log file\n" + Notice(logFilePath));
}

TEST_F(Entry, DumpModeListsTheFilesAndWaitsForOneKey) {
    fake_.keys = {'x'};
    fake_.heldMutexes.insert("MXVMiniLaunchLock"); // The console modes do not test the lock.
    fake_.version.majorVersion = 10;               // Nor the system.
    EXPECT_EQ(RunLauncher("/b"), 1);
    EXPECT_EQ(fake_.console,
              DumpBanner() + FileList() + kRule + "\n" + kRule + "\nPress any key to exit ... \nx");
    EXPECT_EQ(fake_.files.size(), kResourceCount);
    EXPECT_EQ(fake_.files.count(ResourceTable[4].name), 1u) << "written under its bare name";
    EXPECT_FALSE(fake_.consoleAttached);
    EXPECT_TRUE(fake_.keys.empty());
    EXPECT_TRUE(fake_.messageBoxes.empty());
    EXPECT_TRUE(fake_.started.empty());
    EXPECT_EQ(Log(), OneEntry("Successfully ran verification utility"));
}

TEST_F(Entry, HardwareAloneAsksForTheDumpFirst) {
    fake_.keys = {'q', 'r'};
    EXPECT_EQ(RunLauncher("/h"), 1);
    EXPECT_EQ(fake_.console, "Must dump binaries (/b) before viewing hardware information\n"
                             "Press any key to exit ... \nq");
    EXPECT_EQ(fake_.keys.size(), 1u) << "exactly one key is read";
    EXPECT_TRUE(fake_.files.empty());
    EXPECT_EQ(Log(), OneEntry("Successfully ran verification utility"));
}

TEST_F(Entry, BothSwitchesRunTheDumpThenTheHardwareReport) {
    for (const char* commandLine : {"/b /h", "/h/b", "/h /b"}) {
        SCOPED_TRACE(commandLine);
        fake_.console.clear();
        fake_.keys = {' '};
        EXPECT_EQ(RunLauncher(commandLine), 1);
        EXPECT_EQ(fake_.console, DumpBanner() + FileList() + kRule + "\n" + kRule + "\n\n\n\n" +
                                     kRule + "\n============ HARDWARE INFO DUMP ===========\n" +
                                     kRule + "\nFailed to extract hardware test information\n" +
                                     kRule + "\n" + kRule + "\nPress any key to exit ... \n ");
    }
}

TEST_F(Entry, SwitchesAreCaseSensitiveSubstringsAnywhere) {
    fake_.keys = {'k'};
    EXPECT_EQ(RunLauncher("C:/tools/bin/thing.txt"), 1);
    EXPECT_TRUE(fake_.started.empty()) << "\"/b\" inside a path selects the dump";
    EXPECT_EQ(fake_.files.size(), kResourceCount);

    fake_.files.clear();
    fake_.paths.clear();
    EXPECT_EQ(RunLauncher("/B /H"), 1);
    EXPECT_EQ(fake_.started.size(), 1u) << "capital switches start the launch";
}

TEST_F(Entry, AFailedDumpStillPromptsOnceAndLogsSuccess) {
    // Every file fails to rebuild; the dump still counts as done, as it reports each file itself.
    testing_support::TestTables tables;
    for (std::uint32_t i = 0; i < kResourceCount; ++i) {
        tables.AddDamagedStream(ResourceTable[i].name, std::string(3000, 'd'));
    }
    launcher::ScopedPayload payload({tables.Resources(), tables.Chunks(), tables.Count()});
    fake_.keys = {'z'};
    EXPECT_EQ(RunLauncher("/b"), 1);
    EXPECT_NE(fake_.standardError.find("Error retrieving resource #10(QlarHelp.htm)\n"),
              std::string::npos);
    EXPECT_EQ(fake_.console,
              DumpBanner() + kRule + "\n" + kRule + "\nPress any key to exit ... \nz");
    EXPECT_EQ(Log(), OneEntry("Successfully ran verification utility"));
}

TEST_F(Entry, TheHardwareTableFollowsTheDumpInOrder) {
    std::vector<char> table(2 * 375, '\0');
    std::memcpy(&table[0], "MMX", 3);
    std::memcpy(&table[75], "CPUID.01H:EDX[23]", 17);
    std::memcpy(&table[175], "GenuineIntel", 12);
    fake_.libraries["ZeToolSim.dll"]["KnownObjList"] = table.data();
    fake_.keys = {'y'};
    EXPECT_EQ(RunLauncher("/b/h"), 1);
    EXPECT_EQ(fake_.console,
              DumpBanner() + FileList() + kRule + "\n" + kRule + "\n\n\n\n" + kRule +
                  "\n============ HARDWARE INFO DUMP ===========\n" + kRule +
                  "\n\n\n -- Feature Name:\tHardware ID String:\tManufacturer String: -- \n\n\n"
                  "MMX:\tCPUID.01H:EDX[23]:\tGenuineIntel:\n\n\n\n" +
                  kRule + "\n" + kRule + "\nPress any key to exit ... \ny");
    EXPECT_EQ(Log(), OneEntry("Successfully ran verification utility"));
}
