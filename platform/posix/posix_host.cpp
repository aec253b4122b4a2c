// The host on Linux and other POSIX systems: the stand-ins for the Windows services. The console is
// the controlling terminal; files are written with the C library.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/host.h"

namespace platform {
namespace {

// Windows paths cross the seam; on POSIX each backslash becomes a slash.
std::string NativePath(const std::string& path) {
    std::string native = path;
    for (char& c : native) {
        if (c == '\\') {
            c = '/';
        }
    }
    return native;
}

class PosixHost : public Host {
public:
    // The terminal takes the role of an allocated console. Without one, nothing is attached and the
    // console functions do nothing, as on Windows.
    bool AllocConsole() override {
        if (tty_ < 0) {
            tty_ = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
        }
        return tty_ >= 0;
    }

    void FreeConsole() override {
        if (tty_ >= 0) {
            close(tty_);
            tty_ = -1;
        }
    }

    void ConsoleWrite(const std::string& text) override {
        std::size_t done = 0;
        while (tty_ >= 0 && done < text.size()) {
            const ssize_t n = write(tty_, text.data() + done, text.size() - done);
            if (n <= 0) {
                return;
            }
            done += static_cast<std::size_t>(n);
        }
    }

    // One key in raw mode (no line input, no echo by the terminal), echoed by us, like the
    // console's character read.
    bool ConsoleReadKey(char& key) override {
        if (tty_ < 0) {
            return false;
        }
        termios saved{};
        const bool haveMode = tcgetattr(tty_, &saved) == 0;
        if (haveMode) {
            termios raw = saved;
            raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
            raw.c_cc[VMIN] = 1;
            raw.c_cc[VTIME] = 0;
            tcsetattr(tty_, TCSANOW, &raw);
        }
        char c = 0;
        const bool got = read(tty_, &c, 1) == 1;
        if (haveMode) {
            tcsetattr(tty_, TCSANOW, &saved);
        }
        if (got) {
            key = c;
            ConsoleWrite(std::string(1, c));
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
        return std::fopen(NativePath(path).c_str(), "wb");
    }

    std::size_t WriteFile(Handle file, const void* data, std::size_t size) override {
        return std::fwrite(data, 1, size, static_cast<std::FILE*>(file));
    }

    bool CloseFile(Handle file) override { return std::fclose(static_cast<std::FILE*>(file)) == 0; }

    void* Allocate(std::size_t size) override { return std::malloc(size); }

private:
    int tty_ = -1;
};

} // namespace

Host& SystemHost() {
    static PosixHost instance;
    return instance;
}

} // namespace platform
