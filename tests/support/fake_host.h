// The fake host for unit tests: scripted answers, a record of what was asked, an in-memory file
// system, and failure injection (a path that does not open, writes short, fails to close or stays
// locked, the Nth allocation, a mutex held elsewhere, a process that does not start). Nothing
// touches the machine except the run log, which is a real file under windowsDirectory.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/host.h"

namespace testing_support {

struct MessageBoxCall {
    std::string text;
    std::string caption;
    unsigned style;
};

class FakeHost : public platform::Host {
public:
    FakeHost();
    ~FakeHost() override;

    bool AllocConsole() override;
    void FreeConsole() override;
    void ConsoleWrite(const std::string& text) override;
    bool ConsoleReadKey(char& key) override;
    void WriteStandardOutput(const std::string& text) override;
    void WriteStandardError(const std::string& text) override;
    bool GetEnvironment(const std::string& name, std::string& value) override;
    platform::Handle OpenFileForWriting(const std::string& path) override;
    std::size_t WriteFile(platform::Handle file, const void* data, std::size_t size) override;
    bool CloseFile(platform::Handle file) override;
    unsigned WindowsDirectory(char* buffer, unsigned size) override;
    std::string NativePath(const std::string& path) override;
    platform::SystemTime LocalTime() override;
    platform::Handle OpenNamedMutex(const std::string& name) override;
    platform::Handle CreateNamedMutex(const std::string& name, bool& alreadyExisted) override;
    void CloseSystemHandle(platform::Handle handle) override;
    platform::PathKind GetPathKind(const std::string& path) override;
    platform::Handle FindFirst(const std::string& pattern, std::string& name) override;
    bool FindNext(platform::Handle find, std::string& name) override;
    void FindEnd(platform::Handle find) override;
    bool DeletePlainFile(const std::string& path) override;
    bool RemoveEmptyDirectory(const std::string& path) override;
    bool MakeDirectory(const std::string& path) override;
    void Pause(unsigned milliseconds) override;
    bool StartProcess(const platform::StartParameters& parameters, platform::Handle& process,
                      platform::Handle& thread) override;
    void WaitForProcess(platform::Handle process) override;
    void DebugOutput(const std::string& text) override;
    int ShowMessageBox(const std::string& text, const std::string& caption,
                       unsigned style) override;
    bool QueryVersion(platform::VersionInfo& version) override;
    bool NativeProcessorArchitecture(unsigned short& architecture) override;
    int SystemMetric(int index) override;
    platform::RegistryValue ReadMachineRegistryValue(const std::string& key,
                                                     const std::string& name,
                                                     unsigned bufferSize) override;
    void SecureLibrarySearch() override;
    platform::Handle LoadLibraryByName(const std::string& name) override;
    const void* FindExport(platform::Handle library, const std::string& name) override;
    std::size_t ImageBytesFrom(const void* address) override;
    void* Allocate(std::size_t size) override;
    bool IsAbsolutePath(const std::string& path) override;
    // Counts as Windows does: one unit for each UTF-8 character, two for one of four bytes.
    std::size_t PathLength(const std::string& path) override;
    bool MakeWritable(const std::string& path) override;
    bool RemoveLink(const std::string& path) override;
    bool FileInUse(const std::string& path) override;
    // Appending is done on the real disk, at NativePath(path), as the run log lives there.
    platform::Handle OpenFileForAppending(const std::string& path) override;
    bool AppendText(platform::Handle file, const std::string& text) override;
    platform::AppendTurn TryAppendTurn(platform::Handle file) override;
    void ReleaseAppendTurn(platform::Handle file) override;

    // Adds a directory (and its parents) or a file to the file system.
    void AddDirectory(const std::string& path);
    void AddFile(const std::string& path, const std::string& content = "");

    // What the program showed or wrote.
    std::string console;
    std::string standardOutput;
    std::string standardError;
    std::vector<std::string> debugOutput;
    std::vector<MessageBoxCall> messageBoxes;
    std::vector<unsigned> pauses;
    // Every system call that matters to ordering, in order ("open PATH", "delete PATH", "start",
    // "wait", "close process", "OpenMutex NAME", ...).
    std::vector<std::string> calls;
    std::vector<platform::StartParameters> started;

    // The file system: every path in Windows form with its kind, and the contents of files.
    std::map<std::string, platform::PathKind> paths;
    std::map<std::string, std::string> files;

    bool consoleAttached = false;
    // The keys pressed, in order; '\0' stands for a key without a character, which is not echoed.
    std::deque<char> keys;
    std::map<std::string, std::string> environment;
    // A real directory on this machine: the run log is written beneath it, in "Temp".
    std::string windowsDirectory;
    platform::SystemTime now;
    platform::VersionInfo version;
    bool versionAnswers = true;
    bool nativeInfoFound = false;
    unsigned short processorArchitecture = 0;
    std::map<int, int> metrics;
    // Registry values under HKEY_LOCAL_MACHINE by "KEY\\NAME"; a value is read into the buffer as
    // far as it fits, with its full size reported.
    std::map<std::string, std::string> registry;
    // Libraries that load, by file name, each with its exports.
    std::map<std::string, std::map<std::string, const void*>> libraries;
    // How many bytes of each library's image lie from each export's address to the image's end, by
    // file name and export name; 0 puts the export in no loaded image. An export with no extent
    // given counts as followed by an image without end, as tests that do not care about the bound
    // expect. An address that no library exports lies in no loaded image.
    std::map<std::string, std::map<std::string, std::size_t>> exportExtents;

    // Failure injection.
    std::set<std::string> unopenablePaths;
    std::set<std::string> shortWritePaths;
    // Paths that can be deleted or removed only after this many failed attempts (-1: never).
    std::map<std::string, int> lockedPaths;
    std::set<std::string> unmakeablePaths;
    // 1-based numbers of the Allocate calls that fail.
    std::set<int> failingAllocations;
    // Every Allocate call fails, as when the process has no memory left.
    bool everyAllocationFails = false;
    int allocationCount = 0;
    // Mutex names that another process holds.
    std::set<std::string> heldMutexes;
    // A mutex of this name appears between the open and the create, as when two launchers start at
    // the same instant.
    std::string mutexAppearingAtCreation;
    bool mutexCreationFails = false;
    bool processStartFails = false;
    bool windowsDirectoryThrows = false;
    bool localTimeThrows = false;
    // Paths whose close reports failure (the handle is released all the same; what was written
    // stays), and paths whose appends write nothing and fail.
    std::set<std::string> failingClosePaths;
    std::set<std::string> failingAppendPaths;
    // CloseFile raises an error instead of closing.
    bool closeThrows = false;
    // The append turn: how many more tries find it held by another process (-1: every try), and
    // whether the file has no turn to take at all.
    int appendTurnBusyTries = 0;
    bool noAppendTurn = false;
    // The text of every append, in order, by path.
    std::map<std::string, std::vector<std::string>> appends;

    // Handles opened and not yet closed, of every kind.
    std::size_t OpenHandleCount() const;

    // Links, read-only entries and running programs, as the Windows calls see them.
    // A symbolic link or junction at path that points at target. Like the system, every call
    // follows a link that stands for an inner part of a path (LINK\name is TARGET\name, and a
    // listing of LINK\* lists TARGET); the last part of a path is followed only by a listing.
    void AddLink(const std::string& path, const std::string& target);
    std::map<std::string, std::string> linkTargets;
    // Files and directories with the read-only attribute: they cannot be deleted or removed until
    // MakeWritable clears it.
    std::set<std::string> readOnlyPaths;
    // Plain files that running programs use as their executables: FileInUse says so, and they
    // cannot be deleted.
    std::set<std::string> runningPrograms;
    // Entries that another process deletes at the moment of an attempt to delete or remove them:
    // the attempt fails and the entry is gone.
    std::set<std::string> deletedElsewhere;

private:
    struct FakeHandle {
        std::string kind;
        std::string path;
        std::vector<std::string> listing;
        std::size_t next = 0;
    };
    platform::Handle NewHandle(const std::string& kind, const std::string& path);
    // The open handle, of any kind or of the given kind; a handle that is not open is a fault of
    // the code under test.
    FakeHandle* Find(platform::Handle handle);
    FakeHandle* Known(platform::Handle handle, const std::string& kind);
    void Release(platform::Handle handle);
    bool Locked(const std::string& path);
    // The path with every link among its parts replaced by the link's target; the last part is
    // replaced too when followLast is true.
    std::string Resolve(std::string path, bool followLast) const;
    // Removes the entry at the resolved path, and all beneath it, as another process would.
    bool TakenAway(const std::string& path, const std::string& real);

    std::vector<std::unique_ptr<FakeHandle>> open_;
};

} // namespace testing_support
