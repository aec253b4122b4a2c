// The steps of a launch: system check, execution directory, start and wait, removal.
#include "MXVLaunch/mini_launch.h"

#include "sysinfo/identify_operating_system.h"

const char kInstanceMutexName[] = "MXVMiniLaunchLock";

namespace {

constexpr unsigned kRetryPause = 1000;
// A further attempt follows while the counter is at most this, so 7 attempts in all.
constexpr int kRetryLimit = 5;
constexpr unsigned kErrorBox = 0x10; // An OK button and the stop icon.
constexpr unsigned kForceOnFeedback = 0x100;
constexpr unsigned short kShow = 5;

// Runs attempt until it succeeds, pausing after every failure, while counter allows. Returns
// whether it succeeded. The counter belongs to the caller so that several entries can share it.
template <typename Attempt> bool WithRetries(int& counter, Attempt attempt) {
    while (!attempt()) {
        platform::host().Pause(kRetryPause);
        if (counter > kRetryLimit) {
            return false;
        }
        ++counter;
    }
    return true;
}

} // namespace

platform::Handle AcquireInstanceLock(const std::string& name) {
    platform::Host& host = platform::host();
    platform::Handle existing = host.OpenNamedMutex(name);
    if (existing != nullptr) {
        host.CloseSystemHandle(existing);
        return nullptr;
    }
    bool alreadyExisted = false;
    platform::Handle created = host.CreateNamedMutex(name, alreadyExisted);
    // Another launcher that started at the same instant may have created it between the open and
    // the create; then it is that launcher's lock, not ours.
    if (created != nullptr && alreadyExisted) {
        host.CloseSystemHandle(created);
        return nullptr;
    }
    return created;
}

MiniLaunch::MiniLaunch() : instanceMutex(nullptr), lockHeld(false) {
    instanceMutex = AcquireInstanceLock(kInstanceMutexName);
    lockHeld = instanceMutex != nullptr;
    executionDirectory.clear();
    directoryCreated = false;
    binariesExtracted = false;
}

// The mutex stays with the process until it ends.
MiniLaunch::~MiniLaunch() = default;

bool MiniLaunch::CheckSystem() {
    platform::Host& host = platform::host();
    if (!lockHeld) {
        host.ShowMessageBox("A verification tool is already running.", "ERROR", kErrorBox);
        return false;
    }
    if (IdentifyOperatingSystem(kSupportedSystems, kSupportedSystemCount) == 0) {
        host.ShowMessageBox("The verification tool is not supported on this operating system.",
                            "ERROR", kErrorBox);
        return false;
    }
    return true;
}

bool MiniLaunch::CreateExecutionDirectory() {
    platform::Host& host = platform::host();
    std::string base;
    // With neither variable set there is no base directory, and none is made up.
    if (!host.GetEnvironment("USERPROFILE", base) && !host.GetEnvironment("TEMP", base)) {
        return false;
    }
    executionDirectory += base;
    executionDirectory += "\\DVT";
    RemoveExecutionDirectory();
    if (!host.MakeDirectory(executionDirectory)) {
        return false;
    }
    directoryCreated = true;
    return true;
}

bool MiniLaunch::RemoveExecutionDirectory() {
    platform::Host& host = platform::host();
    switch (host.GetPathKind(executionDirectory)) {
    case platform::PathKind::Missing:
        return true;
    case platform::PathKind::Directory:
        break;
    case platform::PathKind::File:
    case platform::PathKind::Link:
        // A plain file is not a directory that could be removed, and a link is never followed: what
        // it points at is not ours. Either stays in place and counts as not removed.
        return false;
    }

    int fileRetries = 0;
    bool abandoned = false;
    std::string name;
    platform::Handle listing = host.FindFirst(executionDirectory + "\\*", name);
    if (listing != nullptr) {
        do {
            if (name == "." || name == "..") {
                continue;
            }
            const std::string path = executionDirectory + "\\" + name;
            if (!WithRetries(fileRetries, [&] { return host.DeletePlainFile(path); })) {
                abandoned = true;
            }
        } while (host.FindNext(listing, name));
        host.FindEnd(listing);
    }
    if (abandoned) {
        return false;
    }
    int directoryRetries = 0;
    return WithRetries(directoryRetries,
                       [&] { return host.RemoveEmptyDirectory(executionDirectory); });
}

bool MiniLaunch::StartTool() {
    if (!binariesExtracted) {
        return false;
    }
    platform::Host& host = platform::host();
    platform::StartParameters parameters;
    parameters.applicationName = executionDirectory + "\\NQVQlar.exe";
    parameters.commandLine = "";
    parameters.inheritHandles = false;
    parameters.creationFlags = 0;
    parameters.currentDirectory = executionDirectory;
    // The busy cursor while the utility starts. The show-window value is set but, without the flag
    // that applies it, the utility opens in its default mode.
    parameters.startupFlags = kForceOnFeedback;
    parameters.showWindow = kShow;

    host.DebugOutput("*************************\n");
    host.DebugOutput(parameters.applicationName);
    host.DebugOutput("*************************\n");
    host.DebugOutput(parameters.commandLine);
    host.DebugOutput(executionDirectory);

    platform::Handle process = nullptr;
    platform::Handle thread = nullptr;
    if (!host.StartProcess(parameters, process, thread)) {
        host.DebugOutput("Failed in CreateProcess()\n");
        return false;
    }
    host.WaitForProcess(process);
    host.CloseSystemHandle(process);
    host.CloseSystemHandle(thread);
    return true;
}
