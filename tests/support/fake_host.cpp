// The fake host's behaviour: everything in memory, nothing touches the machine.
#include "tests/support/fake_host.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace testing_support {

FakeHost::FakeHost() = default;
FakeHost::~FakeHost() = default;

bool FakeHost::AllocConsole() {
    if (consoleAttached) {
        return false;
    }
    consoleAttached = true;
    return true;
}

void FakeHost::FreeConsole() {
    consoleAttached = false;
}

void FakeHost::ConsoleWrite(const std::string& text) {
    if (consoleAttached) {
        console += text;
    }
}

bool FakeHost::ConsoleReadKey(char& key) {
    if (!consoleAttached || keys.empty()) {
        return false;
    }
    key = keys.front();
    keys.pop_front();
    console += key;
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
    fileCalls.push_back("open " + path);
    if (unopenablePaths.count(path) != 0) {
        return nullptr;
    }
    files[path].clear();
    open_.push_back(std::make_unique<OpenFile>(OpenFile{path}));
    return open_.back().get();
}

std::size_t FakeHost::WriteFile(platform::Handle file, const void* data, std::size_t size) {
    auto* handle = static_cast<OpenFile*>(file);
    const auto known = std::find_if(open_.begin(), open_.end(),
                                    [&](const auto& entry) { return entry.get() == handle; });
    if (known == open_.end()) {
        throw std::logic_error("write to a handle that is not open");
    }
    fileCalls.push_back("write " + handle->path + " " + std::to_string(size));
    const std::size_t done = shortWritePaths.count(handle->path) != 0 ? size / 2 : size;
    files[handle->path].append(static_cast<const char*>(data), done);
    return done;
}

bool FakeHost::CloseFile(platform::Handle file) {
    auto* handle = static_cast<OpenFile*>(file);
    const auto known = std::find_if(open_.begin(), open_.end(),
                                    [&](const auto& entry) { return entry.get() == handle; });
    if (known == open_.end()) {
        throw std::logic_error("close of a handle that is not open");
    }
    fileCalls.push_back("close " + handle->path);
    open_.erase(known);
    return true;
}

void* FakeHost::Allocate(std::size_t size) {
    ++allocationCount;
    if (failingAllocations.count(allocationCount) != 0) {
        return nullptr;
    }
    return std::malloc(size);
}

std::size_t FakeHost::OpenFileCount() const {
    return open_.size();
}

} // namespace testing_support
