// The stand-in utility's entry on Linux and other POSIX systems, and the System it runs on there.
// The hold is done by a forked child that keeps the file descriptor open and sleeps; deleting a
// file is not blocked by open descriptors here, but the child still shows that the file is in use.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "standins/utility/utility_core.h"

namespace {

std::string ErrorText(const char* what) {
    return std::string(what) + " failed: " + std::strerror(errno);
}

void SleepFor(const timespec& duration) {
    timespec remaining = duration;
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

class PosixSystem : public standin::System {
public:
    ~PosixSystem() override {
        if (held_ >= 0) {
            close(held_);
        }
    }

    bool GetEnvironment(const std::string& name, std::string& value) override {
        const char* found = std::getenv(name.c_str());
        if (found == nullptr) {
            return false;
        }
        value = found;
        return true;
    }

    std::string CurrentDirectory() override {
        std::vector<char> buffer(256);
        while (getcwd(buffer.data(), buffer.size()) == nullptr) {
            if (errno != ERANGE) {
                return std::string();
            }
            buffer.resize(buffer.size() * 2);
        }
        return buffer.data();
    }

    // readlink does not terminate its answer and truncates silently, so the buffer grows until the
    // answer fits with room to spare.
    std::string ExecutablePath() override {
        for (std::size_t size = 256; size <= 65536; size *= 2) {
            std::vector<char> buffer(size);
            const ssize_t got = readlink("/proc/self/exe", buffer.data(), size);
            if (got < 0) {
                return std::string();
            }
            if (static_cast<std::size_t>(got) < size) {
                return std::string(buffer.data(), static_cast<std::size_t>(got));
            }
        }
        return std::string();
    }

    char PathSeparator() override { return '/'; }

    // Symbolic links are not followed; anything that is neither a regular file nor a directory is
    // left out.
    bool ListDirectory(const std::string& dir,
                       std::vector<standin::DirectoryEntry>& entries) override {
        DIR* stream = opendir(dir.c_str());
        if (stream == nullptr) {
            return false;
        }
        const int dirFd = dirfd(stream);
        errno = 0;
        while (const dirent* item = readdir(stream)) {
            const std::string name = item->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            struct stat info;
            if (fstatat(dirFd, item->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
                continue;
            }
            standin::DirectoryEntry entry;
            entry.name = name;
            if (S_ISDIR(info.st_mode)) {
                entry.isDirectory = true;
            } else if (S_ISREG(info.st_mode)) {
                entry.size = static_cast<std::uint64_t>(info.st_size);
            } else {
                continue;
            }
            entries.push_back(entry);
            errno = 0;
        }
        const bool complete = errno == 0;
        closedir(stream);
        return complete;
    }

    bool WriteWholeFile(const std::string& path, const std::string& bytes) override {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            return false;
        }
        std::size_t done = 0;
        bool wrote = true;
        while (done < bytes.size()) {
            const ssize_t got = write(fd, bytes.data() + done, bytes.size() - done);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                wrote = false;
                break;
            }
            done += static_cast<std::size_t>(got);
        }
        const bool closed = close(fd) == 0;
        return wrote && closed;
    }

    bool Exists(const std::string& path) override {
        struct stat info;
        return lstat(path.c_str(), &info) == 0;
    }

    void SleepMilliseconds(std::uint32_t milliseconds) override {
        timespec duration;
        duration.tv_sec = static_cast<time_t>(milliseconds / 1000);
        duration.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
        SleepFor(duration);
    }

    std::uint32_t TickMilliseconds() override {
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        const auto milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                  static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
        return static_cast<std::uint32_t>(milliseconds);
    }

    bool OpenHeldFile(const std::string& path, std::string& error) override {
        held_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (held_ < 0) {
            error = ErrorText("open");
            return false;
        }
        return true;
    }

    // The child keeps only the held descriptor: its standard streams go to /dev/null and every
    // other descriptor is closed, so that a caller reading our output through a pipe sees it end
    // when we do. It leaves the directory, as the Windows helper does, and ends with _exit so that
    // nothing of the parent's exit handling runs twice.
    bool StartHolder(std::uint32_t seconds, std::string& error) override {
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child < 0) {
            error = ErrorText("fork");
            return false;
        }
        if (child == 0) {
            // The held descriptor moves out of the way first, in case it is one of the standard
            // ones because they were closed when the utility started.
            const int moved = fcntl(held_, F_DUPFD, 10);
            [[maybe_unused]] const int left = chdir("/");
            const int null = open("/dev/null", O_RDWR);
            if (null >= 0) {
                dup2(null, STDIN_FILENO);
                dup2(null, STDOUT_FILENO);
                dup2(null, STDERR_FILENO);
            }
            const int kept = 3;
            dup2(moved >= 0 ? moved : held_, kept);
            close_range(kept + 1, ~0u, 0);
            timespec duration;
            duration.tv_sec = static_cast<time_t>(seconds);
            duration.tv_nsec = 0;
            SleepFor(duration);
            _exit(0);
        }
        close(held_);
        held_ = -1;
        return true;
    }

    void WriteError(const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
    }

private:
    int held_ = -1;
};

std::string Join(char** begin, char** end) {
    std::string joined;
    for (char** arg = begin; arg < end; ++arg) {
        if (arg != begin) {
            joined += ' ';
        }
        joined += *arg;
    }
    return joined;
}

} // namespace

int main(int argc, char** argv) {
    PosixSystem system;
    const std::string commandLine = argc > 1 ? Join(argv + 1, argv + argc) : std::string();
    const std::string fullCommandLine = argc > 0 ? Join(argv, argv + argc) : std::string();
    // Only the low 8 bits of the code reach the parent.
    return static_cast<int>(standin::RunUtility(system, commandLine, fullCommandLine) & 0xFFu);
}
