// Tests of the launch steps: the single-instance lock, the system check, the execution directory
// with its retries, and the start of the utility.
#include "MXVLaunch/mini_launch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

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

    // A link is never followed: nothing behind it is listed or deleted, and it stays.
    fake_.paths[dvt_] = platform::PathKind::Link;
    fake_.calls.clear();
    EXPECT_FALSE(launch.RemoveExecutionDirectory());
    EXPECT_TRUE(fake_.calls.empty());
    EXPECT_TRUE(fake_.pauses.empty());

    // A subdirectory cannot be deleted as a file and holds the directory in place.
    fake_.paths.clear();
    fake_.AddDirectory(dvt_ + "\\sub");
    EXPECT_FALSE(launch.RemoveExecutionDirectory());
    EXPECT_EQ(Count(fake_.calls, "delete " + dvt_ + "\\sub"), 7);
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
