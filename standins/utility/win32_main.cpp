// The stand-in utility's entry on Windows, and the System it runs on there: the 8-bit Windows
// calls. Started with "--hold N" it is the helper that keeps an inherited file open for N seconds.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "standins/utility/utility_core.h"

namespace {

std::string ErrorText(const char* what) {
    return std::string(what) + " failed with error " + std::to_string(::GetLastError());
}

class Win32System : public standin::System {
public:
    ~Win32System() override {
        if (held_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(held_);
        }
    }

    // GetEnvironmentVariableA answers 0 both for a missing variable and for an empty one; only the
    // last error tells them apart.
    bool GetEnvironment(const std::string& name, std::string& value) override {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD needed = ::GetEnvironmentVariableA(name.c_str(), nullptr, 0);
        if (needed == 0) {
            if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                return false;
            }
            value.clear();
            return true;
        }
        std::vector<char> buffer(needed);
        const DWORD got = ::GetEnvironmentVariableA(name.c_str(), buffer.data(), needed);
        if (got == 0 || got >= needed) {
            return false;
        }
        value.assign(buffer.data(), got);
        return true;
    }

    std::string CurrentDirectory() override {
        const DWORD needed = ::GetCurrentDirectoryA(0, nullptr);
        if (needed == 0) {
            return std::string();
        }
        std::vector<char> buffer(needed);
        const DWORD got = ::GetCurrentDirectoryA(needed, buffer.data());
        if (got == 0 || got >= needed) {
            return std::string();
        }
        return std::string(buffer.data(), got);
    }

    // GetModuleFileNameA truncates silently when the buffer is too small, so the buffer grows until
    // the answer fits with room to spare.
    std::string ExecutablePath() override {
        for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
            std::vector<char> buffer(size);
            const DWORD got = ::GetModuleFileNameA(nullptr, buffer.data(), size);
            if (got == 0) {
                return std::string();
            }
            if (got < size - 1) {
                return std::string(buffer.data(), got);
            }
        }
        return std::string();
    }

    char PathSeparator() override { return '\\'; }

    bool ListDirectory(const std::string& dir,
                       std::vector<standin::DirectoryEntry>& entries) override {
        std::string pattern = dir;
        if (pattern.empty() || (pattern.back() != '\\' && pattern.back() != '/')) {
            pattern += '\\';
        }
        pattern += '*';
        WIN32_FIND_DATAA found;
        HANDLE search = ::FindFirstFileA(pattern.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            return false;
        }
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") {
                continue;
            }
            standin::DirectoryEntry entry;
            entry.name = name;
            entry.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (!entry.isDirectory) {
                entry.size =
                    (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
            }
            entries.push_back(entry);
        } while (::FindNextFileA(search, &found));
        const bool complete = ::GetLastError() == ERROR_NO_MORE_FILES;
        ::FindClose(search);
        return complete;
    }

    bool WriteWholeFile(const std::string& path, const std::string& bytes) override {
        HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        DWORD written = 0;
        const bool wrote =
            bytes.empty() ||
            (::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
             written == bytes.size());
        const bool closed = ::CloseHandle(file) != FALSE;
        return wrote && closed;
    }

    bool Exists(const std::string& path) override {
        return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    void SleepMilliseconds(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }

    std::uint32_t TickMilliseconds() override { return ::GetTickCount(); }

    // The handle is inheritable, and the share mode allows reading only, so that neither writing
    // nor deleting nor renaming the file succeeds while any copy of the handle is open.
    bool OpenHeldFile(const std::string& path, std::string& error) override {
        SECURITY_ATTRIBUTES inherit;
        inherit.nLength = sizeof(inherit);
        inherit.lpSecurityDescriptor = nullptr;
        inherit.bInheritHandle = TRUE;
        held_ = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        if (held_ == INVALID_HANDLE_VALUE) {
            error = ErrorText("CreateFileA");
            return false;
        }
        return true;
    }

    // Starts a second copy of this program with "--hold N" and handle inheritance on. The helper
    // gets no standard handles, and ours are made non-inheritable first: a caller that reads our
    // output through a pipe would otherwise see the pipe stay open until the helper ends. Being
    // detached also makes Wine give the helper /dev/null for its Unix standard input and output;
    // its Unix standard error, which Wine keeps for its own messages, is still the caller's. The
    // helper runs in the Windows directory, so that it does not keep the utility's directory in use
    // as its current directory; its own program file stays in use while it runs, which cannot be
    // helped.
    bool StartHolder(std::uint32_t seconds, std::string& error) override {
        const DWORD kStandardHandles[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
        for (const DWORD which : kStandardHandles) {
            HANDLE standard = ::GetStdHandle(which);
            if (standard != nullptr && standard != INVALID_HANDLE_VALUE) {
                ::SetHandleInformation(standard, HANDLE_FLAG_INHERIT, 0);
            }
        }
        const std::string program = ExecutablePath();
        std::string commandLine = "\"" + program + "\" --hold " + std::to_string(seconds);
        std::vector<char> writable(commandLine.begin(), commandLine.end());
        writable.push_back('\0');

        char windowsDirectory[MAX_PATH + 1] = {};
        const UINT length = ::GetWindowsDirectoryA(windowsDirectory, sizeof(windowsDirectory));
        const char* workingDirectory =
            (length > 0 && length < sizeof(windowsDirectory)) ? windowsDirectory : nullptr;

        STARTUPINFOA startup;
        ::ZeroMemory(&startup, sizeof(startup));
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        PROCESS_INFORMATION process;
        ::ZeroMemory(&process, sizeof(process));
        const BOOL started =
            ::CreateProcessA(program.c_str(), writable.data(), nullptr, nullptr, TRUE,
                             DETACHED_PROCESS, nullptr, workingDirectory, &startup, &process);
        if (!started) {
            error = ErrorText("CreateProcessA");
            return false;
        }
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        ::CloseHandle(held_);
        held_ = INVALID_HANDLE_VALUE;
        return true;
    }

    void WriteError(const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
    }

private:
    HANDLE held_ = INVALID_HANDLE_VALUE;
};

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int) {
    const std::string commandLine = lpCmdLine != nullptr ? lpCmdLine : "";
    std::uint32_t holdSeconds = 0;
    if (standin::ParseHoldCommand(commandLine, holdSeconds)) {
        // The helper: the held file came in as an inherited handle, and it stays open until the
        // process ends.
        ::Sleep(holdSeconds * 1000);
        return 0;
    }
    const char* full = ::GetCommandLineA();
    Win32System system;
    // The exit code travels through ExitProcess as an unsigned value, so every 32-bit code survives
    // the conversion to int and back.
    return static_cast<int>(standin::RunUtility(system, commandLine, full != nullptr ? full : ""));
}
