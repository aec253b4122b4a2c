// The steps of a launch: system check, execution directory, start and wait, removal.
#include "MXVLaunch/mini_launch.h"

#include <algorithm>
#include <cstring>

#include "payload/payload_layout.h"
#include "sysinfo/identify_operating_system.h"

const char kInstanceMutexName[] = "MXVMiniLaunchLock";

namespace {

constexpr unsigned kRetryPause = 1000;
// A further attempt follows while the counter is at most this, so 7 attempts in all.
constexpr int kRetryLimit = 5;
constexpr unsigned kErrorBox = 0x10; // An OK button and the stop icon.
constexpr unsigned kForceOnFeedback = 0x100;
constexpr unsigned short kShow = 5;
constexpr char kUtilityName[] = "NQVQlar.exe";
// The longest path that the Windows file and process calls take without the long-path prefix
// (MAX_PATH less the NUL), counted as the host counts path lengths.
constexpr std::size_t kLongestPath = 259;

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

// True when path is gone. A delete or removal that failed because the entry had gone already, for
// example because another program deleted it in the meantime, counts as done.
bool Gone(const std::string& path) {
    return platform::host().GetPathKind(path) == platform::PathKind::Missing;
}

// The execution directory's path: the profile directory, or else the temporary directory, with
// "\DVT" appended. A variable that is unset, empty or relative does not count, because a relative
// base would put the directory wherever the launcher happens to be started (the root of the
// current drive, or the current directory), where a folder of that name is the user's, not ours.
// Returns false, leaving path alone, when neither variable gives an absolute directory.
bool ExecutionDirectoryPath(std::string& path) {
    platform::Host& host = platform::host();
    std::string base;
    for (const char* name : {"USERPROFILE", "TEMP"}) {
        if (host.GetEnvironment(name, base) && host.IsAbsolutePath(base)) {
            // A base that ends in a separator, such as the root of a drive, gets no second one.
            while (base.size() > 1 && base.back() == '\\') {
                base.pop_back();
            }
            path = base + "\\DVT";
            return true;
        }
    }
    return false;
}

// True when every file of the payload, written into directory, has a path that the Windows calls
// take. Beyond that length the files could not be written, deleted or started, and some could stay
// behind. The payload's names are ASCII, so each of their bytes counts as one.
bool PayloadPathsFit(const std::string& directory) {
    std::size_t longestName = 0;
    for (const char* name : payload::kPayloadNames) {
        longestName = std::max(longestName, std::strlen(name));
    }
    return platform::host().PathLength(directory) + 1 + longestName <= kLongestPath;
}

bool RemoveEntry(const std::string& path, int& retries);

// Deletes everything in directory, depth first, every failed attempt counting against retries.
// Returns false when an entry stayed. The directory itself stays.
bool EmptyDirectory(const std::string& directory, int& retries) {
    platform::Host& host = platform::host();
    // Permission to list the directory and delete its entries, which a read-only folder lacks.
    host.MakeWritable(directory);
    bool abandoned = false;
    std::string name;
    platform::Handle listing = host.FindFirst(directory + "\\*", name);
    if (listing != nullptr) {
        do {
            if (name == "." || name == "..") {
                continue;
            }
            if (!RemoveEntry(directory + "\\" + name, retries)) {
                abandoned = true;
            }
        } while (host.FindNext(listing, name));
        host.FindEnd(listing);
    }
    return !abandoned;
}

// Removes one entry of the execution directory, or of a directory beneath it, with retries that
// share the caller's counter. Returns true when the entry is gone.
bool RemoveEntry(const std::string& path, int& retries) {
    platform::Host& host = platform::host();
    switch (host.GetPathKind(path)) {
    case platform::PathKind::Missing:
        return true;
    case platform::PathKind::Link:
        // A link or junction is removed as itself and never followed: what it points at is not
        // ours. Where the system cannot remove a link, it stays and the entry is abandoned. Wine 8
        // reports a Unix symbolic link to a file as a plain file, so it arrives below as a file,
        // and Wine's delete of it deletes the target; that is a fault of Wine, which no program
        // can see from inside.
        return WithRetries(retries, [&] { return host.RemoveLink(path) || Gone(path); });
    case platform::PathKind::Directory:
        if (!EmptyDirectory(path, retries)) {
            return false;
        }
        return WithRetries(retries, [&] { return host.RemoveEmptyDirectory(path) || Gone(path); });
    case platform::PathKind::File:
        break;
    }
    // A read-only file cannot be deleted until it is made writable.
    host.MakeWritable(path);
    return WithRetries(retries, [&] { return host.DeletePlainFile(path) || Gone(path); });
}

// True when the utility of an earlier launch still runs from the execution directory, as when
// that launcher was killed: its lock died with it, but its files must not be deleted from under
// the utility.
bool UtilityStillRunning() {
    std::string directory;
    return ExecutionDirectoryPath(directory) &&
           platform::host().FileInUse(directory + "\\" + kUtilityName);
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
    if (!lockHeld || UtilityStillRunning()) {
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

// Nothing is removed or made unless the base is usable and the payload's paths fit.
bool MiniLaunch::CreateExecutionDirectory() {
    platform::Host& host = platform::host();
    std::string directory;
    if (!ExecutionDirectoryPath(directory)) {
        return false;
    }
    executionDirectory += directory;
    if (!PayloadPathsFit(executionDirectory)) {
        return false;
    }
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
        // A plain file of that name is not ours to delete. It stays and counts as not removed.
        return false;
    case platform::PathKind::Link:
        // A link or junction in the directory's place is removed as itself, never followed: what
        // it points at is not ours. Where the system cannot remove it, it stays.
        return host.RemoveLink(executionDirectory) || Gone(executionDirectory);
    }

    // One counter for every entry, however deep; the directory itself has its own.
    int fileRetries = 0;
    if (!EmptyDirectory(executionDirectory, fileRetries)) {
        return false;
    }
    int directoryRetries = 0;
    return WithRetries(directoryRetries, [&] {
        return host.RemoveEmptyDirectory(executionDirectory) || Gone(executionDirectory);
    });
}

bool MiniLaunch::StartTool() {
    if (!binariesExtracted) {
        return false;
    }
    platform::Host& host = platform::host();
    platform::StartParameters parameters;
    parameters.applicationName = executionDirectory + "\\" + kUtilityName;
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
