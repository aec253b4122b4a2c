// The fake host for unit tests: scripted answers, a record of what was asked, an in-memory file
// store, and failure injection (a path that does not open or writes short, the Nth allocation).
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
    void* Allocate(std::size_t size) override;

    // What the program showed or wrote.
    std::string console;
    std::string standardOutput;
    std::string standardError;
    // Files by the path they were opened with, holding what was written to them.
    std::map<std::string, std::string> files;
    // Every file operation in order, as "open PATH", "write PATH N", "close PATH".
    std::vector<std::string> fileCalls;
    bool consoleAttached = false;
    std::deque<char> keys;
    std::map<std::string, std::string> environment;

    // Failure injection.
    std::set<std::string> unopenablePaths;
    std::set<std::string> shortWritePaths;
    // 1-based numbers of the Allocate calls that fail.
    std::set<int> failingAllocations;
    int allocationCount = 0;

    // Files opened and not yet closed.
    std::size_t OpenFileCount() const;

private:
    struct OpenFile {
        std::string path;
    };
    std::vector<std::unique_ptr<OpenFile>> open_;
};

} // namespace testing_support
