// The fake host's behaviour: everything but the run log in memory.
#include "tests/support/fake_host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "platform/windows_path_rules.h"

namespace testing_support {
namespace {

std::string Parent(const std::string& path) {
    const std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

FakeHost::FakeHost() {
    // Wednesday, 5 March 2025, 09:04:07.
    now = {2025, 3, 3, 5, 9, 4, 7, 0};
}

FakeHost::~FakeHost() = default;

bool FakeHost::AllocConsole() {
    calls.push_back("AllocConsole");
    if (consoleAttached) {
        return false;
    }
    consoleAttached = true;
    return true;
}

void FakeHost::FreeConsole() {
    calls.push_back("FreeConsole");
    consoleAttached = false;
}

void FakeHost::ConsoleWrite(const std::string& text) {
    if (consoleAttached) {
        console += text;
    }
}

bool FakeHost::ConsoleReadKey(char& key) {
    calls.push_back("ReadKey");
    if (!consoleAttached || keys.empty()) {
        return false;
    }
    key = keys.front();
    keys.pop_front();
    if (key != '\0') {
        console += key;
    }
    return true;
}

void FakeHost::WriteStandardOutput(const std::string& text) {
    standardOutput += text;
}

void FakeHost::WriteStandardError(const std::string& text) {
    standardError += text;
}

bool FakeHost::GetEnvironment(const std::string& name, std::string& value) {
    const auto found = environment.find(name);
    if (found == environment.end()) {
        return false;
    }
    value = found->second;
    return true;
}

platform::Handle FakeHost::OpenFileForWriting(const std::string& path) {
    calls.push_back("open " + path);
    if (unopenablePaths.count(path) != 0) {
        return nullptr;
    }
    AddFile(path);
    return NewHandle("file", path);
}

std::size_t FakeHost::WriteFile(platform::Handle file, const void* data, std::size_t size) {
    FakeHandle* handle = Known(file, "file");
    calls.push_back("write " + handle->path + " " + std::to_string(size));
    const std::size_t done = shortWritePaths.count(handle->path) != 0 ? size / 2 : size;
    files[handle->path].append(static_cast<const char*>(data), done);
    return done;
}

bool FakeHost::CloseFile(platform::Handle file) {
    if (closeThrows) {
        throw std::runtime_error("the close raised an error");
    }
    FakeHandle* handle = Find(file);
    if (handle->kind != "file" && handle->kind != "append") {
        throw std::logic_error("use of a " + handle->kind + " handle as a file handle");
    }
    const std::string path = handle->path;
    calls.push_back("close " + path);
    Release(file);
    return failingClosePaths.count(path) == 0;
}

unsigned FakeHost::WindowsDirectory(char* buffer, unsigned size) {
    if (windowsDirectoryThrows) {
        throw std::runtime_error("the Windows directory cannot be had");
    }
    if (windowsDirectory.size() + 1 > size) {
        return static_cast<unsigned>(windowsDirectory.size() + 1);
    }
    std::memcpy(buffer, windowsDirectory.c_str(), windowsDirectory.size() + 1);
    return static_cast<unsigned>(windowsDirectory.size());
}

std::string FakeHost::NativePath(const std::string& path) {
    std::string native = path;
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
}

platform::SystemTime FakeHost::LocalTime() {
    if (localTimeThrows) {
        throw std::runtime_error("no clock");
    }
    return now;
}

platform::Handle FakeHost::OpenNamedMutex(const std::string& name) {
    calls.push_back("OpenMutex " + name);
    return heldMutexes.count(name) != 0 ? NewHandle("mutex", name) : nullptr;
}

platform::Handle FakeHost::CreateNamedMutex(const std::string& name, bool& alreadyExisted) {
    calls.push_back("CreateMutex " + name);
    if (mutexCreationFails) {
        return nullptr;
    }
    alreadyExisted = heldMutexes.count(name) != 0 || mutexAppearingAtCreation == name;
    return NewHandle("mutex", name);
}

void FakeHost::CloseSystemHandle(platform::Handle handle) {
    calls.push_back("close " + Find(handle)->kind);
    Release(handle);
}

platform::PathKind FakeHost::GetPathKind(const std::string& path) {
    const auto found = paths.find(Resolve(path, false));
    return found == paths.end() ? platform::PathKind::Missing : found->second;
}

platform::Handle FakeHost::FindFirst(const std::string& pattern, std::string& name) {
    calls.push_back("list " + pattern);
    if (pattern.size() < 2 || pattern.compare(pattern.size() - 2, 2, "\\*") != 0) {
        throw std::logic_error("unexpected listing pattern " + pattern);
    }
    const std::string directory = Resolve(pattern.substr(0, pattern.size() - 2), true);
    if (GetPathKind(directory) != platform::PathKind::Directory) {
        return nullptr;
    }
    platform::Handle find = NewHandle("listing", directory);
    FakeHandle* handle = Known(find, "listing");
    handle->listing = {".", ".."};
    for (const auto& entry : paths) {
        if (Parent(entry.first) == directory) {
            handle->listing.push_back(entry.first.substr(directory.size() + 1));
        }
    }
    FindNext(find, name);
    return find;
}

bool FakeHost::FindNext(platform::Handle find, std::string& name) {
    FakeHandle* handle = Known(find, "listing");
    if (handle->next >= handle->listing.size()) {
        return false;
    }
    name = handle->listing[handle->next++];
    return true;
}

void FakeHost::FindEnd(platform::Handle find) {
    Known(find, "listing");
    calls.push_back("end listing");
    Release(find);
}

bool FakeHost::DeletePlainFile(const std::string& path) {
    calls.push_back("delete " + path);
    const std::string real = Resolve(path, false);
    const platform::PathKind kind = GetPathKind(real);
    // A link to a directory is not a file; a link to a file is deleted itself.
    const bool directoryLink = kind == platform::PathKind::Link &&
                               GetPathKind(Resolve(real, true)) == platform::PathKind::Directory;
    if (kind == platform::PathKind::Missing || kind == platform::PathKind::Directory ||
        directoryLink || TakenAway(path, real) || readOnlyPaths.count(real) != 0 ||
        runningPrograms.count(real) != 0 || Locked(path)) {
        return false;
    }
    paths.erase(real);
    files.erase(real);
    linkTargets.erase(real);
    return true;
}

bool FakeHost::RemoveEmptyDirectory(const std::string& path) {
    calls.push_back("rmdir " + path);
    const std::string real = Resolve(path, false);
    if (GetPathKind(real) != platform::PathKind::Directory || TakenAway(path, real) ||
        readOnlyPaths.count(real) != 0 || Locked(path)) {
        return false;
    }
    for (const auto& entry : paths) {
        if (Parent(entry.first) == real) {
            return false;
        }
    }
    paths.erase(real);
    return true;
}

bool FakeHost::MakeDirectory(const std::string& path) {
    calls.push_back("mkdir " + path);
    if (unmakeablePaths.count(path) != 0 || GetPathKind(path) != platform::PathKind::Missing) {
        return false;
    }
    paths[Resolve(path, false)] = platform::PathKind::Directory;
    return true;
}

void FakeHost::Pause(unsigned milliseconds) {
    calls.push_back("pause " + std::to_string(milliseconds));
    pauses.push_back(milliseconds);
}

bool FakeHost::StartProcess(const platform::StartParameters& parameters, platform::Handle& process,
                            platform::Handle& thread) {
    calls.push_back("start " + parameters.applicationName);
    started.push_back(parameters);
    if (processStartFails) {
        return false;
    }
    process = NewHandle("process", parameters.applicationName);
    thread = NewHandle("thread", parameters.applicationName);
    return true;
}

void FakeHost::WaitForProcess(platform::Handle process) {
    Known(process, "process");
    calls.push_back("wait");
}

void FakeHost::DebugOutput(const std::string& text) {
    debugOutput.push_back(text);
}

int FakeHost::ShowMessageBox(const std::string& text, const std::string& caption, unsigned style) {
    calls.push_back("MessageBox");
    messageBoxes.push_back({text, caption, style});
    return 1;
}

bool FakeHost::QueryVersion(platform::VersionInfo& answer) {
    if (!versionAnswers) {
        return false;
    }
    answer = version;
    return true;
}

bool FakeHost::NativeProcessorArchitecture(unsigned short& architecture) {
    if (!nativeInfoFound) {
        return false;
    }
    architecture = processorArchitecture;
    return true;
}

int FakeHost::SystemMetric(int index) {
    const auto found = metrics.find(index);
    return found == metrics.end() ? 0 : found->second;
}

platform::RegistryValue FakeHost::ReadMachineRegistryValue(const std::string& key,
                                                           const std::string& name,
                                                           unsigned bufferSize) {
    calls.push_back("registry " + key + "\\" + name);
    platform::RegistryValue value;
    const auto found = registry.find(key + "\\" + name);
    if (found == registry.end()) {
        return value;
    }
    value.reportedSize = static_cast<unsigned>(found->second.size());
    // Like the system: a value larger than the buffer is not read.
    value.read = found->second.size() <= bufferSize;
    if (value.read) {
        value.bytes = found->second;
    }
    return value;
}

void FakeHost::SecureLibrarySearch() {
    calls.push_back("secure library search");
}

platform::Handle FakeHost::LoadLibraryByName(const std::string& name) {
    calls.push_back("load " + name);
    const auto found = libraries.find(name);
    return found == libraries.end() ? nullptr : &found->second;
}

const void* FakeHost::FindExport(platform::Handle library, const std::string& name) {
    calls.push_back("export " + name);
    const auto* exports = static_cast<std::map<std::string, const void*>*>(library);
    const auto found = exports->find(name);
    return found == exports->end() ? nullptr : found->second;
}

std::size_t FakeHost::ImageBytesFrom(const void* address) {
    for (const auto& [file, exports] : libraries) {
        for (const auto& [name, exported] : exports) {
            if (exported != address) {
                continue;
            }
            const auto extents = exportExtents.find(file);
            if (extents != exportExtents.end()) {
                const auto extent = extents->second.find(name);
                if (extent != extents->second.end()) {
                    return extent->second;
                }
            }
            return static_cast<std::size_t>(-1);
        }
    }
    return 0;
}

void* FakeHost::Allocate(std::size_t size) {
    ++allocationCount;
    if (everyAllocationFails || failingAllocations.count(allocationCount) != 0) {
        return nullptr;
    }
    return std::malloc(size);
}

platform::Handle FakeHost::OpenFileForAppending(const std::string& path) {
    calls.push_back("open to append " + path);
    std::FILE* file = std::fopen(NativePath(path).c_str(), "ab");
    if (file == nullptr) {
        return nullptr;
    }
    std::fclose(file);
    return NewHandle("append", path);
}

bool FakeHost::AppendText(platform::Handle file, const std::string& text) {
    const std::string path = Known(file, "append")->path;
    calls.push_back("append " + path);
    appends[path].push_back(text);
    if (failingAppendPaths.count(path) != 0) {
        return false;
    }
    std::FILE* stream = std::fopen(NativePath(path).c_str(), "ab");
    if (stream == nullptr) {
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    return std::fclose(stream) == 0 && written;
}

platform::AppendTurn FakeHost::TryAppendTurn(platform::Handle file) {
    Known(file, "append");
    calls.push_back("try turn");
    if (noAppendTurn) {
        return platform::AppendTurn::NoTurn;
    }
    if (appendTurnBusyTries == 0) {
        return platform::AppendTurn::Taken;
    }
    if (appendTurnBusyTries > 0) {
        --appendTurnBusyTries;
    }
    return platform::AppendTurn::Busy;
}

void FakeHost::ReleaseAppendTurn(platform::Handle file) {
    Known(file, "append");
    calls.push_back("release turn");
}

void FakeHost::AddDirectory(const std::string& path) {
    if (path.empty()) {
        return;
    }
    AddDirectory(Parent(path));
    paths[path] = platform::PathKind::Directory;
}

void FakeHost::AddFile(const std::string& path, const std::string& content) {
    paths[path] = platform::PathKind::File;
    files[path] = content;
}

bool FakeHost::IsAbsolutePath(const std::string& path) {
    return platform::IsAbsoluteWindowsPath(path);
}

std::size_t FakeHost::PathLength(const std::string& path) {
    std::size_t units = 0;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        units += (byte & 0xC0) == 0x80 ? 0 : byte >= 0xF0 ? 2 : 1;
    }
    return units;
}

bool FakeHost::MakeWritable(const std::string& path) {
    calls.push_back("writable " + path);
    const std::string real = Resolve(path, false);
    const platform::PathKind kind = GetPathKind(real);
    if (kind == platform::PathKind::Missing || kind == platform::PathKind::Link) {
        return false;
    }
    readOnlyPaths.erase(real);
    return true;
}

bool FakeHost::RemoveLink(const std::string& path) {
    calls.push_back("unlink " + path);
    const std::string real = Resolve(path, false);
    if (GetPathKind(real) != platform::PathKind::Link || TakenAway(path, real) || Locked(path)) {
        return false;
    }
    paths.erase(real);
    linkTargets.erase(real);
    return true;
}

bool FakeHost::FileInUse(const std::string& path) {
    calls.push_back("in use " + path);
    const std::string real = Resolve(path, false);
    return GetPathKind(real) == platform::PathKind::File && runningPrograms.count(real) != 0;
}

void FakeHost::AddLink(const std::string& path, const std::string& target) {
    AddDirectory(Parent(path));
    paths[path] = platform::PathKind::Link;
    linkTargets[path] = target;
}

std::size_t FakeHost::OpenHandleCount() const {
    return open_.size();
}

platform::Handle FakeHost::NewHandle(const std::string& kind, const std::string& path) {
    open_.push_back(std::make_unique<FakeHandle>());
    open_.back()->kind = kind;
    open_.back()->path = path;
    return open_.back().get();
}

FakeHost::FakeHandle* FakeHost::Find(platform::Handle handle) {
    const auto known = std::find_if(open_.begin(), open_.end(),
                                    [&](const auto& entry) { return entry.get() == handle; });
    if (known == open_.end()) {
        throw std::logic_error("use of a handle that is not open");
    }
    return known->get();
}

FakeHost::FakeHandle* FakeHost::Known(platform::Handle handle, const std::string& kind) {
    FakeHandle* found = Find(handle);
    if (found->kind != kind) {
        throw std::logic_error("use of a " + found->kind + " handle as a " + kind + " handle");
    }
    return found;
}

void FakeHost::Release(platform::Handle handle) {
    open_.erase(std::remove_if(open_.begin(), open_.end(),
                               [&](const auto& entry) { return entry.get() == handle; }),
                open_.end());
}

std::string FakeHost::Resolve(std::string path, bool followLast) const {
    // A bound on the links followed, so that a loop of links ends.
    for (int hops = 0; hops < 32; ++hops) {
        bool replaced = false;
        for (std::size_t end = path.find('\\'); !replaced; end = path.find('\\', end + 1)) {
            if (end == std::string::npos && !followLast) {
                break;
            }
            const std::size_t length = end == std::string::npos ? path.size() : end;
            const auto link = linkTargets.find(path.substr(0, length));
            const auto kind = paths.find(path.substr(0, length));
            if (link != linkTargets.end() && kind != paths.end() &&
                kind->second == platform::PathKind::Link) {
                path = link->second + path.substr(length);
                replaced = true;
            }
            if (end == std::string::npos) {
                break;
            }
        }
        if (!replaced) {
            return path;
        }
    }
    return path;
}

bool FakeHost::TakenAway(const std::string& path, const std::string& real) {
    if (deletedElsewhere.erase(path) == 0) {
        return false;
    }
    for (auto entry = paths.begin(); entry != paths.end();) {
        if (entry->first == real || entry->first.rfind(real + "\\", 0) == 0) {
            files.erase(entry->first);
            linkTargets.erase(entry->first);
            entry = paths.erase(entry);
        } else {
            ++entry;
        }
    }
    return true;
}

bool FakeHost::Locked(const std::string& path) {
    const auto found = lockedPaths.find(path);
    if (found == lockedPaths.end()) {
        return false;
    }
    if (found->second < 0) {
        return true;
    }
    if (found->second == 0) {
        lockedPaths.erase(found);
        return false;
    }
    --found->second;
    return true;
}

} // namespace testing_support
