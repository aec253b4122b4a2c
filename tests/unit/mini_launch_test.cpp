// Tests of the launch steps: the single-instance lock, the system check, the execution directory
// with its retries, and the start of the utility.
#include "MXVLaunch/mini_launch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "MXVLaunch/entry.h"
#include "MXVLaunch/run_log.h"
#include "tests/unit/launcher_fixture.h"

using testing_support::LauncherTest;

namespace {

using Steps = LauncherTest;

long Count(const std::vector<std::string>& calls, const std::string& call) {
    return std::count(calls.begin(), calls.end(), call);
}

} // namespace

TEST_F(Steps, TheLockIsTakenOnlyWhenNobodyHasIt) {
    {
        MiniLaunch launch;
        EXPECT_TRUE(launch.lockHeld);
        EXPECT_NE(launch.instanceMutex, nullptr);
        EXPECT_EQ(fake_.calls, (std::vector<std::string>{"OpenMutex MXVMiniLaunchLock",
                                                         "CreateMutex MXVMiniLaunchLock"}));
    }
    EXPECT_EQ(fake_.OpenHandleCount(), 1u) << "the mutex stays with the process";

    fake_.calls.clear();
    fake_.heldMutexes.insert("MXVMiniLaunchLock");
    MiniLaunch second;
    EXPECT_FALSE(second.lockHeld);
    EXPECT_EQ(second.instanceMutex, nullptr);
    EXPECT_EQ(fake_.calls,
              (std::vector<std::string>{"OpenMutex MXVMiniLaunchLock", "close mutex"}));
}

TEST_F(Steps, TwoLaunchersAtTheSameInstantCannotBothHoldTheLock) {
    fake_.mutexAppearingAtCreation = "MXVMiniLaunchLock";
    EXPECT_EQ(AcquireInstanceLock("MXVMiniLaunchLock"), nullptr);
    EXPECT_EQ(Count(fake_.calls, "close mutex"), 1) << "the handle to the other's mutex is closed";

    fake_.mutexAppearingAtCreation.clear();
    fake_.mutexCreationFails = true;
    MiniLaunch launch;
    EXPECT_FALSE(launch.lockHeld);
}

TEST_F(Steps, CheckSystemShowsOneBoxForTheFirstReasonToRefuse) {
    {
        MiniLaunch launch;
        EXPECT_TRUE(launch.CheckSystem());
        EXPECT_TRUE(fake_.messageBoxes.empty());
    }
    fake_.heldMutexes.insert("MXVMiniLaunchLock");
    fake_.version.majorVersion = 6;
    fake_.version.minorVersion = 1;
    {
        MiniLaunch launch;
        EXPECT_FALSE(launch.CheckSystem());
        ASSERT_EQ(fake_.messageBoxes.size(), 1u) << "the lock is tested first, and alone";
        EXPECT_EQ(fake_.messageBoxes[0].text, "A verification tool is already running.");
        EXPECT_EQ(fake_.messageBoxes[0].caption, "ERROR");
        EXPECT_EQ(fake_.messageBoxes[0].style, 0x10u);
    }
    fake_.heldMutexes.clear();
    fake_.messageBoxes.clear();
    MiniLaunch launch;
    EXPECT_FALSE(launch.CheckSystem());
    ASSERT_EQ(fake_.messageBoxes.size(), 1u);
    EXPECT_EQ(fake_.messageBoxes[0].text,
              "The verification tool is not supported on this operating system.");
    EXPECT_EQ(fake_.messageBoxes[0].caption, "ERROR");
    EXPECT_EQ(fake_.messageBoxes[0].style, 0x10u);
}

TEST_F(Steps, TheExecutionDirectoryComesFromTheProfileOrTheTemporaryDirectory) {
    {
        MiniLaunch launch;
        EXPECT_TRUE(launch.CreateExecutionDirectory());
        EXPECT_EQ(launch.executionDirectory, dvt_);
        EXPECT_TRUE(launch.directoryCreated);
        EXPECT_EQ(fake_.GetPathKind(dvt_), platform::PathKind::Directory);
    }
    fake_.environment.erase("USERPROFILE");
    {
        MiniLaunch launch;
        EXPECT_TRUE(launch.CreateExecutionDirectory());
        EXPECT_EQ(launch.executionDirectory, "C:\\Users\\tester\\Temp\\DVT");
    }
    fake_.environment.erase("TEMP");
    fake_.calls.clear();
    MiniLaunch launch;
    EXPECT_FALSE(launch.CreateExecutionDirectory());
    EXPECT_FALSE(launch.directoryCreated);
    EXPECT_EQ(launch.executionDirectory, "");
    for (const std::string& call : fake_.calls) {
        EXPECT_EQ(call.find("mkdir"), std::string::npos) << "no directory is made up";
    }
}

TEST_F(Steps, AStaleDirectoryIsEmptiedAndRemovedBeforeItIsMadeAgain) {
    fake_.AddFile(dvt_ + "\\old.dll", "old");
    fake_.AddFile(dvt_ + "\\NQVQlar.exe", "older");
    fake_.AddDirectory(dvt_);
    MiniLaunch launch;
    EXPECT_TRUE(launch.CreateExecutionDirectory());
    EXPECT_TRUE(fake_.files.empty());
    const auto mkdir = std::find(fake_.calls.begin(), fake_.calls.end(), "mkdir " + dvt_);
    const auto rmdir = std::find(fake_.calls.begin(), fake_.calls.end(), "rmdir " + dvt_);
    ASSERT_NE(mkdir, fake_.calls.end());
    EXPECT_LT(rmdir, mkdir);

    // A directory that cannot be made leaves the composed path and the flag alone.
    fake_.unmakeablePaths.insert("D:\\p\\DVT");
    fake_.environment["USERPROFILE"] = "D:\\p";
    MiniLaunch other;
    EXPECT_FALSE(other.CreateExecutionDirectory());
    EXPECT_EQ(other.executionDirectory, "D:\\p\\DVT");
    EXPECT_FALSE(other.directoryCreated);
}

TEST_F(Steps, RemovalRetriesSevenTimesWithOneCounterForAllFiles) {
    fake_.AddDirectory(dvt_);
    fake_.AddFile(dvt_ + "\\a.dll");
    fake_.AddFile(dvt_ + "\\b.dll");
    fake_.AddFile(dvt_ + "\\c.dll");
    fake_.lockedPaths[dvt_ + "\\a.dll"] = -1;
    fake_.lockedPaths[dvt_ + "\\b.dll"] = -1;
    MiniLaunch launch;
    launch.executionDirectory = dvt_;
    EXPECT_FALSE(launch.RemoveExecutionDirectory());
    EXPECT_EQ(Count(fake_.calls, "delete " + dvt_ + "\\a.dll"), 7);
    EXPECT_EQ(Count(fake_.calls, "delete " + dvt_ + "\\b.dll"), 1) << "the counter is used up";
    EXPECT_EQ(Count(fake_.calls, "delete " + dvt_ + "\\c.dll"), 1) << "later entries still go";
    EXPECT_EQ(fake_.pauses, std::vector<unsigned>(8, 1000u));
    EXPECT_EQ(Count(fake_.calls, "rmdir " + dvt_), 0) << "no removal after an abandoned entry";
    EXPECT_EQ(fake_.GetPathKind(dvt_), platform::PathKind::Directory);
    EXPECT_EQ(Count(fake_.calls, "end listing"), 1);
}

TEST_F(Steps, RemovalThatSucceedsLateStopsPausing) {
    fake_.AddDirectory(dvt_);
    fake_.AddFile(dvt_ + "\\a.dll");
    fake_.lockedPaths[dvt_ + "\\a.dll"] = 3;
    fake_.lockedPaths[dvt_] = 2;
    MiniLaunch launch;
    launch.executionDirectory = dvt_;
    EXPECT_TRUE(launch.RemoveExecutionDirectory());
    EXPECT_EQ(Count(fake_.calls, "delete " + dvt_ + "\\a.dll"), 4);
    EXPECT_EQ(Count(fake_.calls, "rmdir " + dvt_), 3);
    EXPECT_EQ(fake_.pauses.size(), 5u);
    EXPECT_EQ(fake_.GetPathKind(dvt_), platform::PathKind::Missing);
}

TEST_F(Steps, ADirectoryThatStaysGetsSevenAttemptsOfItsOwn) {
    fake_.AddDirectory(dvt_);
    fake_.lockedPaths[dvt_] = -1;
    MiniLaunch launch;
    launch.executionDirectory = dvt_;
    EXPECT_FALSE(launch.RemoveExecutionDirectory());
    EXPECT_EQ(Count(fake_.calls, "rmdir " + dvt_), 7);
    EXPECT_EQ(fake_.pauses.size(), 7u);
}

TEST_F(Steps, RemovalOfNothingOrOfWhatIsNotADirectory) {
    MiniLaunch launch;
    launch.executionDirectory = dvt_;
    EXPECT_TRUE(launch.RemoveExecutionDirectory()) << "a missing directory is already gone";
    EXPECT_TRUE(fake_.pauses.empty());

    fake_.AddFile(dvt_, "a plain file");
    EXPECT_FALSE(launch.RemoveExecutionDirectory());
    EXPECT_EQ(fake_.files[dvt_], "a plain file");

    // A link in the directory's place is removed as a link; nothing behind it is listed or
    // deleted.
    fake_.paths.clear();
    fake_.files.clear();
    fake_.AddDirectory("C:\\Users\\tester\\Documents");
    fake_.AddFile("C:\\Users\\tester\\Documents\\thesis.doc", "mine");
    fake_.AddLink(dvt_, "C:\\Users\\tester\\Documents");
    fake_.calls.clear();
    EXPECT_TRUE(launch.RemoveExecutionDirectory());
    EXPECT_EQ(fake_.GetPathKind(dvt_), platform::PathKind::Missing);
    EXPECT_EQ(fake_.files["C:\\Users\\tester\\Documents\\thesis.doc"], "mine");
    EXPECT_EQ(fake_.calls, std::vector<std::string>{"unlink " + dvt_});

    // Where the system cannot remove the link, it stays and the removal fails at once.
    fake_.AddLink(dvt_, "C:\\Users\\tester\\Documents");
    fake_.lockedPaths[dvt_] = -1;
    fake_.calls.clear();
    EXPECT_FALSE(launch.RemoveExecutionDirectory());
    EXPECT_EQ(fake_.calls, std::vector<std::string>{"unlink " + dvt_});
    EXPECT_TRUE(fake_.pauses.empty());
    EXPECT_EQ(fake_.files["C:\\Users\\tester\\Documents\\thesis.doc"], "mine");
}

TEST_F(Steps, StartToolStartsTheUtilityInItsDirectoryAndWaits) {
    MiniLaunch launch;
    launch.executionDirectory = dvt_;
    EXPECT_FALSE(launch.StartTool()) << "nothing is started before the files are there";
    EXPECT_TRUE(fake_.started.empty());
    EXPECT_TRUE(fake_.debugOutput.empty());

    launch.binariesExtracted = true;
    EXPECT_TRUE(launch.StartTool());
    ASSERT_EQ(fake_.started.size(), 1u);
    const platform::StartParameters& p = fake_.started[0];
    EXPECT_EQ(p.applicationName, dvt_ + "\\NQVQlar.exe");
    EXPECT_EQ(p.commandLine, "");
    EXPECT_FALSE(p.inheritHandles);
    EXPECT_EQ(p.creationFlags, 0u);
    EXPECT_EQ(p.currentDirectory, dvt_);
    EXPECT_EQ(p.startupFlags, 0x100u);
    EXPECT_EQ(p.showWindow, 5u);
    EXPECT_EQ(fake_.debugOutput,
              (std::vector<std::string>{"*************************\n", dvt_ + "\\NQVQlar.exe",
                                        "*************************\n", "", dvt_}));
    const auto wait = std::find(fake_.calls.begin(), fake_.calls.end(), "wait");
    ASSERT_NE(wait, fake_.calls.end());
    EXPECT_EQ(std::vector<std::string>(wait, fake_.calls.end()),
              (std::vector<std::string>{"wait", "close process", "close thread"}));
}

TEST_F(Steps, AFailedStartIsTracedAndReported) {
    fake_.processStartFails = true;
    MiniLaunch launch;
    launch.executionDirectory = dvt_;
    launch.binariesExtracted = true;
    EXPECT_FALSE(launch.StartTool());
    ASSERT_EQ(fake_.debugOutput.size(), 6u);
    EXPECT_EQ(fake_.debugOutput[5], "Failed in CreateProcess()\n");
    EXPECT_EQ(Count(fake_.calls, "wait"), 0);
}

namespace {

// The calls that read or change the file system, apart from the listing of nothing.
std::vector<std::string> FileSystemCalls(const std::vector<std::string>& calls) {
    std::vector<std::string> found;
    for (const std::string& call : calls) {
        // The run log is opened on every run; it is not the execution directory's business.
        if (call.rfind("open to append ", 0) == 0) {
            continue;
        }
        for (const char* kind :
             {"mkdir ", "rmdir ", "delete ", "list ", "writable ", "unlink ", "open ", "in use "}) {
            if (call.rfind(kind, 0) == 0) {
                found.push_back(call);
            }
        }
    }
    return found;
}

// Adds a file and every directory above it.
void AddTreeFile(testing_support::FakeHost& fake, const std::string& path,
                 const std::string& content = "") {
    fake.AddDirectory(path.substr(0, path.find_last_of('\\')));
    fake.AddFile(path, content);
}

int RunLauncher() {
    char commandLine[] = "";
    return launcher::WinMain(nullptr, nullptr, commandLine, 0);
}

} // namespace

TEST_F(Steps, OnlyAnAbsoluteProfileOrTemporaryDirectoryIsABase) {
    // Folders of the user's that a relative base would name: at the root of the current drive and
    // in the current directory.
    AddTreeFile(fake_, "C:\\DVT\\mine.txt", "the user's");
    AddTreeFile(fake_, "\\DVT\\mine.txt", "the user's");
    AddTreeFile(fake_, "DVT\\mine.txt", "the user's");
    const auto before = fake_.files;
    for (const char* unusable :
         {"", ".", "DVT", "Users\\tester", "\\", "\\Users\\tester", "C:Users\\tester",
          "C:", "C:/Users/tester", "\\\\server", "\\\\server\\", "\\\\\\share", "\\\\.\\C:\\x",
          "\\\\?\\C:\\x", "1:\\x"}) {
        SCOPED_TRACE(std::string("base \"") + unusable + "\"");
        fake_.environment["USERPROFILE"] = unusable;
        fake_.environment["TEMP"] = unusable;
        fake_.calls.clear();
        MiniLaunch launch;
        EXPECT_TRUE(launch.CheckSystem()) << "nothing is known to run from nowhere";
        EXPECT_FALSE(launch.CreateExecutionDirectory());
        EXPECT_FALSE(launch.directoryCreated);
        EXPECT_EQ(launch.executionDirectory, "");
        EXPECT_EQ(FileSystemCalls(fake_.calls), std::vector<std::string>{});
        EXPECT_EQ(fake_.files, before);
    }

    // A usable TEMP answers for an unusable profile; the forms of an absolute base.
    const struct {
        const char* profile;
        const char* temp;
        const char* directory;
    } cases[] = {
        {"", "C:\\Users\\tester\\Temp", "C:\\Users\\tester\\Temp\\DVT"},
        {".", "C:\\Users\\tester\\Temp", "C:\\Users\\tester\\Temp\\DVT"},
        {"E:\\", "C:\\Users\\tester\\Temp", "E:\\DVT"},
        {"d:\\home\\", "", "d:\\home\\DVT"},
        {"\\\\server\\share\\tester", "", "\\\\server\\share\\tester\\DVT"},
        {"\\\\server\\share", "", "\\\\server\\share\\DVT"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("profile \"") + c.profile + "\", TEMP \"" + c.temp + "\"");
        fake_.environment["USERPROFILE"] = c.profile;
        fake_.environment["TEMP"] = c.temp;
        MiniLaunch launch;
        EXPECT_TRUE(launch.CreateExecutionDirectory());
        EXPECT_EQ(launch.executionDirectory, c.directory);
        EXPECT_EQ(fake_.GetPathKind(c.directory), platform::PathKind::Directory);
    }
    EXPECT_EQ(fake_.files, before) << "the user's folders named DVT are untouched";

    // The whole run with no usable base: the log names the step, and nothing was touched.
    fake_.environment["USERPROFILE"] = "";
    fake_.environment.erase("TEMP");
    fake_.calls.clear();
    EXPECT_EQ(RunLauncher(), 1);
    EXPECT_EQ(Log(), OneEntry("Failed to create verification utility execution directory"));
    EXPECT_EQ(FileSystemCalls(fake_.calls), std::vector<std::string>{});
    EXPECT_EQ(fake_.files, before);
}

TEST_F(Steps, TheLongestPayloadPathMustFitTheWindowsCalls) {
    // The longest name among the embedded files.
    const std::string longest = "Microsoft.VC90.CRT.manifest";
    // Windows counts a path in UTF-16 units: one for a letter that UTF-8 spells in one, two or
    // three bytes, two for one that it spells in four.
    struct Letter {
        const char* what;
        std::string utf8;
        std::size_t units;
    };
    const Letter letters[] = {{"ASCII", "p", 1},
                              {"Greek", "\xCE\xBB", 1},
                              {"Chinese", "\xE4\xB8\xAD", 1},
                              {"beyond the Basic Multilingual Plane", "\xF0\x9D\x92\x9C", 2}};
    for (const Letter& letter : letters) {
        SCOPED_TRACE(letter.what);
        // A base whose DVT\<longest name> path is exactly length units long.
        const auto baseFor = [&](std::size_t length) {
            std::size_t left = length - std::string("C:\\").size() - std::string("\\DVT\\").size() -
                               longest.size();
            std::string base = "C:\\";
            for (; left >= letter.units; left -= letter.units) {
                base += letter.utf8;
            }
            return base + std::string(left, 'p');
        };
        {
            fake_.environment["USERPROFILE"] = baseFor(259);
            const std::string dvt = fake_.environment["USERPROFILE"] + "\\DVT";
            AddTreeFile(fake_, dvt + "\\old.dll", "stale");
            MiniLaunch launch;
            EXPECT_TRUE(launch.CreateExecutionDirectory()) << "259 units fit";
            EXPECT_EQ(fake_.files.count(dvt + "\\old.dll"), 0u);
            EXPECT_EQ(fake_.GetPathKind(dvt), platform::PathKind::Directory);
        }
        fake_.environment["USERPROFILE"] = baseFor(260);
        const std::string dvt = fake_.environment["USERPROFILE"] + "\\DVT";
        AddTreeFile(fake_, dvt + "\\old.dll", "stale");
        fake_.calls.clear();
        MiniLaunch launch;
        EXPECT_FALSE(launch.CreateExecutionDirectory()) << "260 units do not";
        EXPECT_FALSE(launch.directoryCreated);
        EXPECT_EQ(FileSystemCalls(fake_.calls), std::vector<std::string>{}) << "nothing is touched";
        EXPECT_EQ(fake_.files[dvt + "\\old.dll"], "stale");
        EXPECT_TRUE(fake_.pauses.empty());
    }
}

TEST_F(Steps, AStaleTreeWithReadOnlyEntriesIsRemovedDepthFirst) {
    const std::string sub = dvt_ + "\\sub";
    const std::string deeper = sub + "\\deeper";
    AddTreeFile(fake_, dvt_ + "\\a.dll");
    AddTreeFile(fake_, sub + "\\b.dll");
    AddTreeFile(fake_, deeper + "\\c.dll");
    fake_.AddDirectory(sub + "\\empty");
    AddTreeFile(fake_, dvt_ + "\\z.dll");
    fake_.readOnlyPaths = {dvt_ + "\\a.dll", deeper + "\\c.dll", deeper, dvt_};
    MiniLaunch launch;
    launch.executionDirectory = dvt_;
    EXPECT_TRUE(launch.RemoveExecutionDirectory());
    EXPECT_TRUE(fake_.pauses.empty()) << "read-only entries are made writable before the delete";
    EXPECT_EQ(fake_.GetPathKind(dvt_), platform::PathKind::Missing);
    EXPECT_TRUE(fake_.files.empty());
    const auto at = [&](const std::string& call) {
        const auto found = std::find(fake_.calls.begin(), fake_.calls.end(), call);
        EXPECT_NE(found, fake_.calls.end()) << call;
        return found - fake_.calls.begin();
    };
    EXPECT_LT(at("writable " + deeper + "\\c.dll"), at("delete " + deeper + "\\c.dll"));
    EXPECT_LT(at("delete " + deeper + "\\c.dll"), at("rmdir " + deeper));
    EXPECT_LT(at("rmdir " + deeper), at("rmdir " + sub));
    EXPECT_LT(at("rmdir " + sub + "\\empty"), at("rmdir " + sub));
    EXPECT_LT(at("rmdir " + sub), at("rmdir " + dvt_));

    // One counter for every entry at every depth: a subdirectory that is removed on its third
    // attempt uses two, so a file that stays afterwards gets five attempts, not seven.
    fake_.calls.clear();
    AddTreeFile(fake_, sub + "\\b.dll");
    AddTreeFile(fake_, dvt_ + "\\z.dll");
    fake_.lockedPaths[sub] = 2;
    fake_.lockedPaths[dvt_ + "\\z.dll"] = -1;
    EXPECT_FALSE(launch.RemoveExecutionDirectory());
    EXPECT_EQ(Count(fake_.calls, "rmdir " + sub), 3);
    EXPECT_EQ(Count(fake_.calls, "delete " + dvt_ + "\\z.dll"), 5);
    EXPECT_EQ(fake_.pauses.size(), 7u);
    EXPECT_EQ(Count(fake_.calls, "rmdir " + dvt_), 0) << "an entry stayed";

    // A nested file that stays holds its own directory and every directory above it.
    fake_.calls.clear();
    fake_.pauses.clear();
    fake_.lockedPaths.clear();
    AddTreeFile(fake_, deeper + "\\c.dll");
    AddTreeFile(fake_, dvt_ + "\\z.dll");
    fake_.lockedPaths[deeper + "\\c.dll"] = -1;
    fake_.lockedPaths[dvt_ + "\\z.dll"] = -1;
    EXPECT_FALSE(launch.RemoveExecutionDirectory());
    EXPECT_EQ(Count(fake_.calls, "delete " + deeper + "\\c.dll"), 7);
    EXPECT_EQ(Count(fake_.calls, "delete " + dvt_ + "\\z.dll"), 1) << "the counter is used up";
    EXPECT_EQ(Count(fake_.calls, "rmdir " + deeper), 0);
    EXPECT_EQ(Count(fake_.calls, "rmdir " + sub), 0);
    EXPECT_EQ(fake_.pauses.size(), 8u);
}

TEST_F(Steps, EntriesThatAreGoneWhenTheirDeleteFailsCountAsDeleted) {
    AddTreeFile(fake_, dvt_ + "\\a.dll");
    AddTreeFile(fake_, dvt_ + "\\sub\\b.dll");
    AddTreeFile(fake_, dvt_ + "\\sub2\\c.dll");
    fake_.deletedElsewhere = {dvt_ + "\\a.dll", dvt_ + "\\sub", dvt_ + "\\sub2\\c.dll", dvt_};
    MiniLaunch launch;
    launch.executionDirectory = dvt_;
    EXPECT_TRUE(launch.RemoveExecutionDirectory());
    EXPECT_TRUE(fake_.pauses.empty());
    EXPECT_EQ(Count(fake_.calls, "delete " + dvt_ + "\\a.dll"), 1);
    EXPECT_EQ(Count(fake_.calls, "rmdir " + dvt_), 1);
    EXPECT_EQ(fake_.GetPathKind(dvt_), platform::PathKind::Missing);
}

TEST_F(Steps, LinksInTheDirectoryAreRemovedAsLinksAndNeverFollowed) {
    const std::string documents = "C:\\Users\\tester\\Documents";
    AddTreeFile(fake_, documents + "\\thesis.doc", "mine");
    AddTreeFile(fake_, documents + "\\inner\\notes.txt", "mine too");
    AddTreeFile(fake_, "C:\\Users\\tester\\photo.jpg", "a photo");
    AddTreeFile(fake_, dvt_ + "\\a.dll");
    fake_.AddLink(dvt_ + "\\docs", documents);
    fake_.AddLink(dvt_ + "\\sub\\photo", "C:\\Users\\tester\\photo.jpg");
    fake_.AddLink(dvt_ + "\\dangling", "C:\\nowhere");
    const auto mine = [&] {
        return std::vector<std::string>{fake_.files[documents + "\\thesis.doc"],
                                        fake_.files[documents + "\\inner\\notes.txt"],
                                        fake_.files["C:\\Users\\tester\\photo.jpg"]};
    };
    const std::vector<std::string> original{"mine", "mine too", "a photo"};
    ASSERT_EQ(fake_.GetPathKind(dvt_ + "\\docs\\thesis.doc"), platform::PathKind::File)
        << "the fake follows links inside paths, as the system does";

    MiniLaunch launch;
    EXPECT_TRUE(launch.CreateExecutionDirectory());
    EXPECT_EQ(mine(), original);
    EXPECT_EQ(Count(fake_.calls, "unlink " + dvt_ + "\\docs"), 1);
    EXPECT_EQ(Count(fake_.calls, "unlink " + dvt_ + "\\sub\\photo"), 1);
    EXPECT_EQ(Count(fake_.calls, "unlink " + dvt_ + "\\dangling"), 1);
    for (const std::string& call : fake_.calls) {
        EXPECT_EQ(call.find(dvt_ + "\\docs\\"), std::string::npos) << call;
        EXPECT_EQ(call.find(documents), std::string::npos) << call;
        EXPECT_NE(call, "writable " + dvt_ + "\\docs");
    }
    EXPECT_EQ(fake_.GetPathKind(documents), platform::PathKind::Directory);
    EXPECT_TRUE(launch.directoryCreated);

    // A link that the system cannot remove stays, holds the directory, and its target is safe.
    fake_.AddLink(dvt_ + "\\docs", documents);
    fake_.lockedPaths[dvt_ + "\\docs"] = -1;
    fake_.calls.clear();
    EXPECT_FALSE(launch.RemoveExecutionDirectory());
    EXPECT_EQ(Count(fake_.calls, "unlink " + dvt_ + "\\docs"), 7);
    EXPECT_EQ(fake_.GetPathKind(dvt_), platform::PathKind::Directory);
    EXPECT_EQ(mine(), original);
}

TEST_F(Steps, ADirectoryThatIsALinkIsReplacedByARealOne) {
    const std::string documents = "C:\\Users\\tester\\Documents";
    AddTreeFile(fake_, documents + "\\thesis.doc", "mine");
    fake_.AddLink(dvt_, documents);
    MiniLaunch launch;
    EXPECT_TRUE(launch.CreateExecutionDirectory());
    EXPECT_EQ(fake_.GetPathKind(dvt_), platform::PathKind::Directory);
    EXPECT_EQ(fake_.files[documents + "\\thesis.doc"], "mine");
    EXPECT_EQ(Count(fake_.calls, "list " + dvt_ + "\\*"), 0);

    fake_.paths.erase(dvt_);
    fake_.AddLink(dvt_, documents);
    fake_.lockedPaths[dvt_] = -1;
    MiniLaunch other;
    EXPECT_FALSE(other.CreateExecutionDirectory()) << "the link stays, so no directory is made";
    EXPECT_EQ(fake_.files[documents + "\\thesis.doc"], "mine");
    EXPECT_EQ(fake_.GetPathKind(documents), platform::PathKind::Directory);
}

TEST_F(Steps, AUtilityStillRunningFromTheDirectoryIsLikeAHeldLock) {
    // A launcher was killed while its utility ran: the lock is free, the files are in use.
    for (const char* name : {"NQVQlar.exe", "NQVLang.dll", "TraceLib.dll"}) {
        AddTreeFile(fake_, dvt_ + "\\" + name, name);
    }
    fake_.runningPrograms.insert(dvt_ + "\\NQVQlar.exe");
    fake_.version.majorVersion = 6;
    fake_.version.minorVersion = 1;
    const auto before = fake_.files;
    {
        MiniLaunch launch;
        EXPECT_TRUE(launch.lockHeld);
        EXPECT_FALSE(launch.CheckSystem());
        ASSERT_EQ(fake_.messageBoxes.size(), 1u) << "one box, even on an unsupported system";
        EXPECT_EQ(fake_.messageBoxes[0].text, "A verification tool is already running.");
        EXPECT_EQ(fake_.messageBoxes[0].caption, "ERROR");
        EXPECT_EQ(fake_.messageBoxes[0].style, 0x10u);
    }
    fake_.version.majorVersion = 5;
    fake_.version.minorVersion = 1;
    fake_.messageBoxes.clear();
    EXPECT_EQ(RunLauncher(), 1);
    EXPECT_EQ(Log(), OneEntry("System is not ready to launch verification utility"));
    EXPECT_EQ(fake_.messageBoxes.size(), 1u);
    EXPECT_EQ(fake_.files, before) << "the running utility's files are untouched";
    EXPECT_TRUE(fake_.started.empty());

    // A read-only utility left by an earlier run is not running: the launch goes on and clears it.
    fake_.runningPrograms.clear();
    fake_.readOnlyPaths.insert(dvt_ + "\\NQVQlar.exe");
    fake_.messageBoxes.clear();
    MiniLaunch launch;
    EXPECT_TRUE(launch.CheckSystem());
    EXPECT_TRUE(fake_.messageBoxes.empty());
    EXPECT_TRUE(launch.CreateExecutionDirectory());
    EXPECT_EQ(fake_.files.count(dvt_ + "\\NQVQlar.exe"), 0u);
}
