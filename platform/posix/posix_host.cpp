// The host on Linux and other POSIX systems: the stand-ins for the Windows services, as the README
// describes them. The console is the controlling terminal, the named mutex an flock on a per-user
// lock file, and the Windows directory a per-user state directory. The version query answers only
// from MXV_WINDOWS_VERSION, which tests set to run the whole launch natively.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "platform/c_runtime_host.h"

namespace platform {
namespace {

static_assert(sizeof(std::time_t) >= 8, "a 32-bit time_t runs out in January 2038");

// Windows paths cross the seam; on POSIX each backslash becomes a slash.
std::string ToNative(const std::string& path) {
    std::string native = path;
    for (char& c : native) {
        if (c == '\\') {
            c = '/';
        }
    }
    return native;
}

std::string EnvironmentOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' ? value : fallback;
}

// Creates each missing directory of path.
void MakeDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0755);
    }
    mkdir(path.c_str(), 0755);
}

// Reads the decimal number at text[position], up to the next full stop or the end, into value, and
// moves position past it. Fails on an empty number, any other character, or a value above limit.
bool ReadVersionNumber(const std::string& text, std::size_t& position, unsigned long limit,
                       unsigned long& value) {
    const std::size_t start = position;
    value = 0;
    while (position < text.size() && text[position] != '.') {
        const char c = text[position];
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned long>(c - '0');
        if (value > limit) {
            return false;
        }
        ++position;
    }
    return position > start;
}

// Parses MAJOR.MINOR.BUILD.SPMAJOR: four decimal numbers separated by single full stops, nothing
// before or after them. The first three must fit in 32 bits, the service-pack number in 16.
bool ParseWindowsVersion(const std::string& text, VersionInfo& version) {
    const unsigned long kLimits[4] = {0xFFFFFFFFul, 0xFFFFFFFFul, 0xFFFFFFFFul, 0xFFFFul};
    unsigned long numbers[4] = {};
    std::size_t position = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (position >= text.size() || text[position] != '.') {
                return false;
            }
            ++position;
        }
        if (!ReadVersionNumber(text, position, kLimits[i], numbers[i])) {
            return false;
        }
    }
    if (position != text.size()) {
        return false;
    }
    VersionInfo parsed;
    parsed.majorVersion = static_cast<unsigned>(numbers[0]);
    parsed.minorVersion = static_cast<unsigned>(numbers[1]);
    parsed.buildNumber = static_cast<unsigned>(numbers[2]);
    parsed.servicePackMajor = static_cast<unsigned short>(numbers[3]);
    // The value names a Windows NT workstation: platform 2 (VER_PLATFORM_WIN32_NT) and product
    // type 1 (VER_NT_WORKSTATION). No suite bits are set, so an NT 5.1 system is XP Professional.
    parsed.platformId = 2;
    parsed.productType = 1;
    version = parsed;
    return true;
}

// Accepts the lock file only when it is a regular file owned by this user. Another user can
// create a file or a link under the lock's name in a shared directory such as /tmp; locking it
// would let that user decide whether our launcher runs, and writing through a link would touch a
// file of theirs.
bool IsOwnLockFile(int fd) {
    struct stat info {};
    return fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == getuid();
}

// What a handle of this host holds.
struct PosixHandle {
    enum class Kind { Mutex, Listing, Process, Thread } kind;
    int fd = -1;
    DIR* listing = nullptr;
    pid_t pid = -1;
};

class PosixHost : public CRuntimeHost {
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
    // console's character read. A key without a character, such as an arrow or a function key,
    // reaches a terminal as an escape sequence; it is read whole, so that none of it is left for
    // the next reader, and ends the wait with key set to NUL and nothing echoed.
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
        bool sequence = false;
        if (got && c == kEscape) {
            sequence = ReadEscapeSequenceRest();
        }
        if (haveMode) {
            tcsetattr(tty_, TCSANOW, &saved);
        }
        if (got) {
            key = sequence ? '\0' : c;
            // Written to a terminal, a lone ESC would begin a control sequence rather than show.
            if (key != '\0' && key != kEscape) {
                ConsoleWrite(std::string(1, c));
            }
        }
        return got;
    }

    // USERPROFILE and TEMP are Windows variables. When they are not set, the home directory and the
    // temporary directory answer for them, so the launcher finds a base directory on any Linux
    // machine.
    bool GetEnvironment(const std::string& name, std::string& value) override {
        if (CRuntimeHost::GetEnvironment(name, value)) {
            return true;
        }
        if (name == "USERPROFILE" && std::getenv("HOME") != nullptr) {
            value = std::getenv("HOME");
            return true;
        }
        if (name == "TEMP") {
            value = EnvironmentOr("TMPDIR", "/tmp");
            return true;
        }
        return false;
    }

    // The Windows directory is $MXV_WINDOWS_DIR, or mxvlaunch under the user's state directory. Its
    // Temp folder is made here, because Windows always has one and the run log goes there.
    unsigned WindowsDirectory(char* buffer, unsigned size) override {
        std::string home = EnvironmentOr("HOME", "/tmp");
        std::string directory =
            EnvironmentOr("MXV_WINDOWS_DIR",
                          EnvironmentOr("XDG_STATE_HOME", home + "/.local/state") + "/mxvlaunch");
        MakeDirectories(directory + "/Temp");
        if (directory.size() + 1 > size) {
            return static_cast<unsigned>(directory.size() + 1);
        }
        std::memcpy(buffer, directory.c_str(), directory.size() + 1);
        return static_cast<unsigned>(directory.size());
    }

    std::string NativePath(const std::string& path) override { return ToNative(path); }

    // localtime_r serves past 2038 only with a time_t of 64 bits, which the build makes sure of.
    SystemTime LocalTime() override {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        std::tm local{};
        localtime_r(&now.tv_sec, &local);
        SystemTime fields;
        fields.year = static_cast<unsigned short>(local.tm_year + 1900);
        fields.month = static_cast<unsigned short>(local.tm_mon + 1);
        fields.dayOfWeek = static_cast<unsigned short>(local.tm_wday);
        fields.day = static_cast<unsigned short>(local.tm_mday);
        fields.hour = static_cast<unsigned short>(local.tm_hour);
        fields.minute = static_cast<unsigned short>(local.tm_min);
        fields.second = static_cast<unsigned short>(local.tm_sec);
        fields.milliseconds = static_cast<unsigned short>(now.tv_nsec / 1000000);
        return fields;
    }

    // The named mutex is an exclusive flock on a per-user lock file named after it. The kernel
    // drops the lock when the holder ends, so a crashed launcher never blocks the next one.
    //
    // A lock file that is a symbolic link, not a regular file, or owned by another user is never
    // used: the link is not followed, OpenNamedMutex answers that there is no mutex and
    // CreateNamedMutex that creation failed. The launcher then counts the lock as held elsewhere
    // and refuses to run, which is the safe side.
    Handle OpenNamedMutex(const std::string& name) override {
        const int fd = open(LockPath(name).c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            return nullptr;
        }
        if (!IsOwnLockFile(fd) || flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // Nobody holds it: on Windows the mutex would not exist.
            close(fd);
            return nullptr;
        }
        return Keep(PosixHandle{PosixHandle::Kind::Mutex, fd});
    }

    Handle CreateNamedMutex(const std::string& name, bool& alreadyExisted) override {
        alreadyExisted = false;
        const int fd =
            open(LockPath(name).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            return nullptr;
        }
        if (!IsOwnLockFile(fd)) {
            close(fd);
            return nullptr;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            alreadyExisted = true;
        }
        return Keep(PosixHandle{PosixHandle::Kind::Mutex, fd});
    }

    void CloseSystemHandle(Handle handle) override {
        auto* h = static_cast<PosixHandle*>(handle);
        if (h == nullptr) {
            return;
        }
        if (h->fd >= 0) {
            close(h->fd);
        }
        Forget(h);
    }

    PathKind GetPathKind(const std::string& path) override {
        struct stat info {};
        if (lstat(ToNative(path).c_str(), &info) != 0) {
            return PathKind::Missing;
        }
        if (S_ISLNK(info.st_mode)) {
            return PathKind::Link;
        }
        return S_ISDIR(info.st_mode) ? PathKind::Directory : PathKind::File;
    }

    // The pattern is DIR\\*; the listing is of DIR.
    Handle FindFirst(const std::string& pattern, std::string& name) override {
        std::string directory = ToNative(pattern);
        if (directory.size() >= 2 && directory.compare(directory.size() - 2, 2, "/*") == 0) {
            directory.resize(directory.size() - 2);
        }
        // A link named as the directory is not followed: the listing fails, as it does for a
        // plain file.
        const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            return nullptr;
        }
        DIR* listing = fdopendir(fd);
        if (listing == nullptr) {
            close(fd);
            return nullptr;
        }
        auto* handle = static_cast<PosixHandle*>(Keep(PosixHandle{PosixHandle::Kind::Listing}));
        handle->listing = listing;
        if (!FindNext(handle, name)) {
            FindEnd(handle);
            return nullptr;
        }
        return handle;
    }

    bool FindNext(Handle find, std::string& name) override {
        const dirent* entry = readdir(static_cast<PosixHandle*>(find)->listing);
        if (entry == nullptr) {
            return false;
        }
        name = entry->d_name;
        return true;
    }

    void FindEnd(Handle find) override {
        auto* handle = static_cast<PosixHandle*>(find);
        closedir(handle->listing);
        Forget(handle);
    }

    // unlink removes a link itself and fails on a directory, as DeleteFile does on Windows.
    bool DeletePlainFile(const std::string& path) override {
        return unlink(ToNative(path).c_str()) == 0;
    }

    bool RemoveEmptyDirectory(const std::string& path) override {
        return rmdir(ToNative(path).c_str()) == 0;
    }

    bool MakeDirectory(const std::string& path) override {
        return mkdir(ToNative(path).c_str(), 0700) == 0;
    }

    // nanosleep, unlike usleep, takes any length; a signal cuts it short, and the sleep goes on
    // for the time that remained.
    void Pause(unsigned milliseconds) override {
        timespec remaining{};
        remaining.tv_sec = static_cast<time_t>(milliseconds / 1000u);
        remaining.tv_nsec = static_cast<long>(milliseconds % 1000u) * 1000000L;
        while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
        }
    }

    // Windows has no execute bit: the file gets one here before it is started. The command-line
    // text has no meaning on POSIX; the program is started with no arguments. A pipe that closes on
    // exec tells the parent whether the start itself worked: it carries the child's errno when the
    // change of directory or the exec failed. The parent then returns false with errno set to that
    // value, so a caller or a test can tell why.
    bool StartProcess(const StartParameters& parameters, Handle& process, Handle& thread) override {
        const std::string program = ToNative(parameters.applicationName);
        const std::string directory = ToNative(parameters.currentDirectory);
        chmod(program.c_str(), 0700);
        int report[2];
        if (pipe2(report, O_CLOEXEC) != 0) {
            return false;
        }
        const pid_t pid = fork();
        if (pid < 0) {
            close(report[0]);
            close(report[1]);
            return false;
        }
        if (pid == 0) {
            int failure = 0;
            if (!directory.empty() && chdir(directory.c_str()) != 0) {
                failure = errno;
            } else {
                char* const argv[] = {const_cast<char*>(program.c_str()), nullptr};
                execv(program.c_str(), argv);
                failure = errno;
            }
            (void)!write(report[1], &failure, sizeof failure);
            _exit(127);
        }
        close(report[1]);
        // The report is one int written at once, far below the pipe's atomic size: the read gets
        // all of it, or nothing when the exec closed the pipe. A signal may interrupt the wait.
        int failure = 0;
        ssize_t got = 0;
        do {
            got = read(report[0], &failure, sizeof failure);
        } while (got < 0 && errno == EINTR);
        close(report[0]);
        if (got == static_cast<ssize_t>(sizeof failure)) {
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
            errno = failure;
            return false;
        }
        PosixHandle started{PosixHandle::Kind::Process};
        started.pid = pid;
        process = Keep(started);
        thread = Keep(PosixHandle{PosixHandle::Kind::Thread});
        return true;
    }

    void WaitForProcess(Handle process) override {
        const pid_t pid = static_cast<PosixHandle*>(process)->pid;
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }

    // There is no debugger channel here; the text is dropped.
    void DebugOutput(const std::string&) override {}

    // The box becomes its caption and text on the terminal, or on standard error without one, and
    // counts as closed with OK.
    int ShowMessageBox(const std::string& text, const std::string& caption, unsigned) override {
        const std::string line = caption + ": " + text + "\n";
        const int tty = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (tty >= 0) {
            (void)!write(tty, line.data(), line.size());
            close(tty);
        } else {
            WriteStandardError(line);
        }
        return 1;
    }

    // The version record answers only from MXV_WINDOWS_VERSION (MAJOR.MINOR.BUILD.SPMAJOR, an NT
    // workstation), so that tests can run the whole launch natively. Unset or malformed, nothing
    // answers, and the launcher refuses the system. No system facts or registry answer on POSIX.
    bool QueryVersion(VersionInfo& version) override {
        const char* value = std::getenv("MXV_WINDOWS_VERSION");
        return value != nullptr && ParseWindowsVersion(value, version);
    }
    bool NativeProcessorArchitecture(unsigned short&) override { return false; }
    int SystemMetric(int) override { return 0; }
    RegistryValue ReadMachineRegistryValue(const std::string&, const std::string&,
                                           unsigned) override {
        return RegistryValue();
    }

    // The dynamic loader takes no library from the current directory or the executable's
    // directory unless asked, so there is nothing to secure.
    void SecureLibrarySearch() override {}

    // A bare name is looked for beside the executable first, then in the current directory, then
    // wherever the dynamic loader looks, as Windows searches for a library.
    Handle LoadLibraryByName(const std::string& name) override {
        char self[4096];
        const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
        if (length > 0) {
            std::string directory(self, static_cast<std::size_t>(length));
            directory.resize(directory.find_last_of('/') + 1);
            if (void* library = dlopen((directory + name).c_str(), RTLD_NOW)) {
                return library;
            }
        }
        if (void* library = dlopen(("./" + name).c_str(), RTLD_NOW)) {
            return library;
        }
        return dlopen(name.c_str(), RTLD_NOW);
    }

    const void* FindExport(Handle library, const std::string& name) override {
        return dlsym(library, name.c_str());
    }

    // --- Safety of the execution directory ---

    bool IsAbsolutePath(const std::string& path) override {
        return !path.empty() && path[0] == '/';
    }

    std::size_t PathLength(const std::string& path) override { return path.size(); }

    // Deleting an entry needs write and search permission on its directory, and listing needs
    // read permission, so a directory gets all three for its owner; a file only gets its owner's
    // write bit, which a later write by the launcher needs. The mode is changed without following a
    // link (fchmodat refuses a link with AT_SYMLINK_NOFOLLOW), and a link is refused beforehand.
    bool MakeWritable(const std::string& path) override {
        const std::string native = ToNative(path);
        struct stat info {};
        if (lstat(native.c_str(), &info) != 0 || S_ISLNK(info.st_mode)) {
            return false;
        }
        const mode_t needed = S_ISDIR(info.st_mode) ? S_IRWXU : S_IWUSR;
        if ((info.st_mode & needed) == needed) {
            return true;
        }
        const mode_t mode = (info.st_mode & 07777) | needed;
        return fchmodat(AT_FDCWD, native.c_str(), mode, AT_SYMLINK_NOFOLLOW) == 0;
    }

    // unlink removes a symbolic link itself, whatever it points at.
    bool RemoveLink(const std::string& path) override {
        const std::string native = ToNative(path);
        struct stat info {};
        if (lstat(native.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return false;
        }
        return unlink(native.c_str()) == 0;
    }

    // POSIX lets a running program's file be opened, written and deleted, so no open call tells
    // whether it is in use. Instead every process's /proc/PID/exe is compared with the file, by
    // device and inode. The kernel lets a process see only the executables of processes it may
    // trace, that is, the user's own; the execution directory is the user's own too, so a program
    // of another user is not looked for there. Without /proc nothing can be known, and the answer
    // is false.
    bool FileInUse(const std::string& path) override {
        struct stat file {};
        if (lstat(ToNative(path).c_str(), &file) != 0 || !S_ISREG(file.st_mode)) {
            return false;
        }
        DIR* processes = opendir("/proc");
        if (processes == nullptr) {
            return false;
        }
        bool inUse = false;
        while (const dirent* entry = readdir(processes)) {
            if (entry->d_name[0] < '1' || entry->d_name[0] > '9') {
                continue;
            }
            struct stat program {};
            const std::string exe = std::string("/proc/") + entry->d_name + "/exe";
            if (stat(exe.c_str(), &program) == 0 && program.st_dev == file.st_dev &&
                program.st_ino == file.st_ino) {
                inUse = true;
                break;
            }
        }
        closedir(processes);
        return inUse;
    }

    // --- Library image bounds ---

    // The loaded segment that holds the address is found among the program headers of all loaded
    // objects, whichever object it belongs to. The segment is mapped in memory up to p_vaddr +
    // p_memsz (the part beyond the file's bytes reads as zeros).
    std::size_t ImageBytesFrom(const void* address) override {
        struct Search {
            std::uintptr_t address;
            std::size_t bytes;
        } search{reinterpret_cast<std::uintptr_t>(address), 0};
        if (address == nullptr) {
            return 0;
        }
        dl_iterate_phdr(
            [](dl_phdr_info* info, std::size_t, void* data) {
                auto* wanted = static_cast<Search*>(data);
                for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
                    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
                    const std::uintptr_t start = info->dlpi_addr + segment.p_vaddr;
                    const std::uintptr_t end = start + segment.p_memsz;
                    if (segment.p_type == PT_LOAD && wanted->address >= start &&
                        wanted->address < end) {
                        wanted->bytes = end - wanted->address;
                        return 1;
                    }
                }
                return 0;
            },
            &search);
        return search.bytes;
    }

private:
    static constexpr char kEscape = '\x1b';

    // The next byte of a key's escape sequence, if the terminal sends one at once: a sequence
    // arrives in one piece, so a short wait tells a lone Escape key from the start of a sequence.
    bool NextSequenceByte(char& c) {
        pollfd ready{tty_, POLLIN, 0};
        return poll(&ready, 1, 50) == 1 && read(tty_, &c, 1) == 1;
    }

    // Reads the rest of a sequence that began with ESC: ESC [ parameters and one final byte from
    // '@' to '~' (arrows, function keys, editing keys), ESC O and one byte (arrows and function
    // keys in application mode), or ESC and one byte (a key with Alt). Returns false when nothing
    // follows the ESC, which is then the Escape key alone.
    bool ReadEscapeSequenceRest() {
        char c = 0;
        if (!NextSequenceByte(c)) {
            return false;
        }
        if (c == 'O') {
            NextSequenceByte(c);
        } else if (c == '[') {
            // A sequence longer than any key sends is cut off rather than waited on for ever.
            for (int i = 0; i < 32 && NextSequenceByte(c); ++i) {
                if (c >= '@' && c <= '~') {
                    break;
                }
            }
        }
        return true;
    }

    // Handles belong to the host until they are closed. One that is never closed, such as the
    // single-instance mutex, lives as long as the process, and its descriptor with it.
    Handle Keep(PosixHandle handle) {
        handles_.push_back(std::make_unique<PosixHandle>(handle));
        return handles_.back().get();
    }

    void Forget(PosixHandle* handle) {
        for (auto it = handles_.begin(); it != handles_.end(); ++it) {
            if (it->get() == handle) {
                handles_.erase(it);
                return;
            }
        }
    }

    std::vector<std::unique_ptr<PosixHandle>> handles_;

    static std::string LockPath(const std::string& name) {
        return EnvironmentOr("XDG_RUNTIME_DIR", "/tmp") + "/" + name + "-" +
               std::to_string(getuid()) + ".lock";
    }

    int tty_ = -1;
};

} // namespace

Host& SystemHost() {
    static PosixHost instance;
    return instance;
}

} // namespace platform
