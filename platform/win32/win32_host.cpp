// The host on Windows: the 8-bit Windows calls behind each service of the seam.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/host.h"

namespace platform {
namespace {

class Win32Host : public Host {
public:
    bool AllocConsole() override { return ::AllocConsole() != FALSE; }

    // The console devices are closed before detaching, so that a later console is opened afresh.
    void FreeConsole() override {
        CloseDevice(output_);
        CloseDevice(input_);
        ::FreeConsole();
    }

    // Writes straight to the console output device, never through standard output. When no console
    // is attached the device does not open and the text is dropped.
    void ConsoleWrite(const std::string& text) override {
        HANDLE out = Device(output_, "CONOUT$", GENERIC_READ | GENERIC_WRITE);
        DWORD written = 0;
        if (out != INVALID_HANDLE_VALUE && !text.empty()) {
            ::WriteConsoleA(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        }
    }

    // Reads one key press from the console input device with line input and processed input turned
    // off, so that one key is enough, and echoes it.
    bool ConsoleReadKey(char& key) override {
        HANDLE in = Device(input_, "CONIN$", GENERIC_READ | GENERIC_WRITE);
        if (in == INVALID_HANDLE_VALUE) {
            return false;
        }
        DWORD savedMode = 0;
        const bool haveMode = ::GetConsoleMode(in, &savedMode) != FALSE;
        if (haveMode) {
            ::SetConsoleMode(
                in, savedMode & ~(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT));
        }
        bool got = false;
        for (;;) {
            INPUT_RECORD record{};
            DWORD count = 0;
            if (!::ReadConsoleInputA(in, &record, 1, &count) || count == 0) {
                break;
            }
            if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
                record.Event.KeyEvent.uChar.AsciiChar != 0) {
                key = record.Event.KeyEvent.uChar.AsciiChar;
                got = true;
                break;
            }
        }
        if (haveMode) {
            ::SetConsoleMode(in, savedMode);
        }
        if (got) {
            ConsoleWrite(std::string(1, key));
        }
        return got;
    }

    void WriteStandardOutput(const std::string& text) override {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }

    void WriteStandardError(const std::string& text) override {
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    }

    bool GetEnvironment(const std::string& name, std::string& value) override {
        const char* found = std::getenv(name.c_str());
        if (found == nullptr) {
            return false;
        }
        value = found;
        return true;
    }

    Handle OpenFileForWriting(const std::string& path) override {
        return std::fopen(path.c_str(), "wb");
    }

    std::size_t WriteFile(Handle file, const void* data, std::size_t size) override {
        return std::fwrite(data, 1, size, static_cast<std::FILE*>(file));
    }

    bool CloseFile(Handle file) override { return std::fclose(static_cast<std::FILE*>(file)) == 0; }

    void* Allocate(std::size_t size) override { return std::malloc(size); }

private:
    // Opens a console device on first use and keeps it open.
    static HANDLE Device(HANDLE& slot, const char* name, DWORD access) {
        if (slot == INVALID_HANDLE_VALUE) {
            slot = ::CreateFileA(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
        }
        return slot;
    }

    static void CloseDevice(HANDLE& slot) {
        if (slot != INVALID_HANDLE_VALUE) {
            ::CloseHandle(slot);
            slot = INVALID_HANDLE_VALUE;
        }
    }

    HANDLE output_ = INVALID_HANDLE_VALUE;
    HANDLE input_ = INVALID_HANDLE_VALUE;
};

} // namespace

Host& SystemHost() {
    static Win32Host instance;
    return instance;
}

} // namespace platform
