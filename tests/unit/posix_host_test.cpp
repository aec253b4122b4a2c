// Platform tests of the Linux host: the real PosixHost, reached through platform::SystemHost(), on
// this machine's file system, processes, signals and pseudo-terminals. Each test sets the
// environment variables it depends on and restores them afterwards, and works in a private
// temporary directory.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>

#include "platform/host.h"
#include "sysinfo/identify_operating_system.h"

namespace {

namespace fs = std::filesystem;
using platform::Handle;
using platform::PathKind;

platform::Host& Real() {
    return platform::SystemHost();
}

// Sets and unsets environment variables for one test and puts the old values back afterwards.
class ScopedEnvironment {
public:
    ~ScopedEnvironment() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }
    void Set(const std::string& name, const std::string& value) {
        Save(name);
        setenv(name.c_str(), value.c_str(), 1);
    }
    void Unset(const std::string& name) {
        Save(name);
        unsetenv(name.c_str());
    }

private:
    void Save(const std::string& name) {
        if (saved_.count(name) == 0) {
            const char* value = std::getenv(name.c_str());
            saved_[name] = value != nullptr ? std::optional<std::string>(value) : std::nullopt;
        }
    }
    std::map<std::string, std::optional<std::string>> saved_;
};

// A private directory, removed with everything in it (links themselves, never their targets).
class TemporaryDirectory {
public:
    TemporaryDirectory() {
        std::string pattern = (fs::temp_directory_path() / "mxv-posix-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The names that a listing of directory yields, or nothing when it cannot be started.
std::optional<std::multiset<std::string>> List(const std::string& directory) {
    std::string name;
    Handle find = Real().FindFirst(directory + "\\*", name);
    if (find == nullptr) {
        return std::nullopt;
    }
    std::multiset<std::string> names{name};
    while (Real().FindNext(find, name)) {
        names.insert(name);
    }
    Real().FindEnd(find);
    return names;
}

// Reads from fd until the text read ends with expected or nothing comes for ten seconds.
std::string ReadUntil(int fd, const std::string& expected) {
    std::string text;
    while (text.size() < expected.size() ||
           text.compare(text.size() - expected.size(), expected.size(), expected) != 0) {
        pollfd ready{fd, POLLIN, 0};
        char buffer[256];
        if (poll(&ready, 1, 10000) <= 0) {
            break;
        }
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

// Forks a child for a test. The child ends with std::exit, so that its coverage counts and the
// sanitizers' exit checks are kept; the output buffers are emptied first, so that nothing the
// parent has buffered is written twice.
pid_t ForkChild() {
    std::fflush(nullptr);
    return fork();
}

int ExitStatusOf(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string LockPathIn(const std::string& directory, const std::string& name) {
    return directory + "/" + name + "-" + std::to_string(getuid()) + ".lock";
}

TEST(PosixHost, NamedMutexIsHeldAcrossProcessesUntilTheHolderEnds) {
    TemporaryDirectory runtime;
    ScopedEnvironment environment;
    environment.Set("XDG_RUNTIME_DIR", runtime.path());
    const std::string name = "MxvPosixHostTest";

    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t holder = ForkChild();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        bool existed = true;
        const Handle mutex = Real().CreateNamedMutex(name, existed);
        const char answer = mutex != nullptr && !existed ? 'y' : 'n';
        (void)!write(ready[1], &answer, 1);
        char go = 0;
        (void)!read(release[0], &go, 1);
        std::exit(0);
    }
    char answer = 0;
    ASSERT_EQ(read(ready[0], &answer, 1), 1);
    EXPECT_EQ(answer, 'y') << "the first process creates the mutex and holds it";

    // While the other process holds it, the mutex exists and cannot be had.
    Handle opened = Real().OpenNamedMutex(name);
    EXPECT_NE(opened, nullptr);
    Real().CloseSystemHandle(opened);
    bool existed = false;
    Handle created = Real().CreateNamedMutex(name, existed);
    EXPECT_NE(created, nullptr);
    EXPECT_TRUE(existed);
    Real().CloseSystemHandle(created);

    // The kernel drops the lock when its holder ends.
    ASSERT_EQ(write(release[1], "g", 1), 1);
    EXPECT_EQ(ExitStatusOf(holder), 0);
    for (const int fd : {ready[0], ready[1], release[0], release[1]}) {
        close(fd);
    }
    EXPECT_EQ(Real().OpenNamedMutex(name), nullptr);
    created = Real().CreateNamedMutex(name, existed);
    EXPECT_NE(created, nullptr);
    EXPECT_FALSE(existed);

    struct stat info {};
    ASSERT_EQ(lstat(LockPathIn(runtime.path(), name).c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    Real().CloseSystemHandle(created);
    Real().CloseSystemHandle(nullptr);
}

TEST(PosixHost, WithoutRuntimeDirectoryTheLockFileIsInTmp) {
    ScopedEnvironment environment;
    environment.Unset("XDG_RUNTIME_DIR");
    const std::string name = "MxvPosixHostTest" + std::to_string(getpid());
    const std::string lockPath = LockPathIn("/tmp", name);
    bool existed = true;
    Handle created = Real().CreateNamedMutex(name, existed);
    EXPECT_NE(created, nullptr);
    EXPECT_FALSE(existed);
    EXPECT_TRUE(fs::is_regular_file(lockPath));
    Real().CloseSystemHandle(created);
    unlink(lockPath.c_str());
}

TEST(PosixHost, ALockFileThatIsALinkOrNoFileIsNeverUsed) {
    TemporaryDirectory runtime;
    ScopedEnvironment environment;
    environment.Set("XDG_RUNTIME_DIR", runtime.path());
    const std::string target = runtime.path() + "/target";
    WriteText(target, "keep");

    const std::string linked = "MxvLinked";
    ASSERT_EQ(symlink(target.c_str(), LockPathIn(runtime.path(), linked).c_str()), 0);
    const std::string dangling = "MxvDangling";
    const std::string nowhere = runtime.path() + "/nowhere";
    ASSERT_EQ(symlink(nowhere.c_str(), LockPathIn(runtime.path(), dangling).c_str()), 0);
    const std::string directory = "MxvDirectory";
    ASSERT_EQ(mkdir(LockPathIn(runtime.path(), directory).c_str(), 0700), 0);

    for (const std::string& name : {linked, dangling, directory}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Real().OpenNamedMutex(name), nullptr);
        bool existed = false;
        EXPECT_EQ(Real().CreateNamedMutex(name, existed), nullptr);
    }
    EXPECT_EQ(ReadText(target), "keep");
    EXPECT_FALSE(fs::exists(nowhere)) << "creation does not go through a link";
    // The refused target is not locked either: another open of it takes the lock at once.
    const int fd = open(target.c_str(), O_RDONLY);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    close(fd);
}

TEST(PosixHost, ALockFileOfAnotherUserIsNeverUsed) {
    if (getuid() != 0) {
        GTEST_SKIP() << "only the superuser can give a file to another user";
    }
    TemporaryDirectory runtime;
    ScopedEnvironment environment;
    environment.Set("XDG_RUNTIME_DIR", runtime.path());
    const std::string name = "MxvForeign";
    const std::string lockPath = LockPathIn(runtime.path(), name);
    WriteText(lockPath, "");
    ASSERT_EQ(chown(lockPath.c_str(), 65534, 65534), 0);
    EXPECT_EQ(Real().OpenNamedMutex(name), nullptr);
    bool existed = false;
    EXPECT_EQ(Real().CreateNamedMutex(name, existed), nullptr);
}

TEST(PosixHost, StartProcessRunsTheFileInItsDirectoryOrReportsWhyItCouldNot) {
    TemporaryDirectory work;
    const std::string directory = work.path() + "/run here";
    ASSERT_EQ(mkdir(directory.c_str(), 0700), 0);
    // Written without an execute bit, as extracted files are; the host gives it one.
    const std::string script = work.path() + "/tool.sh";
    WriteText(script, "#!/bin/sh\npwd > started.txt\necho \"$#\" >> started.txt\nexit 3\n");
    ASSERT_EQ(chmod(script.c_str(), 0600), 0);

    platform::StartParameters parameters;
    parameters.applicationName = work.path() + "\\tool.sh";
    parameters.commandLine = "ignored arguments";
    parameters.currentDirectory = work.path() + "\\run here";
    Handle process = nullptr;
    Handle thread = nullptr;
    ASSERT_TRUE(Real().StartProcess(parameters, process, thread));
    EXPECT_NE(process, nullptr);
    EXPECT_NE(thread, nullptr);
    Real().WaitForProcess(process);
    Real().CloseSystemHandle(thread);
    Real().CloseSystemHandle(process);
    EXPECT_EQ(ReadText(directory + "/started.txt"), directory + "\n0\n");

    struct Failure {
        const char* what;
        std::string program;
        std::string currentDirectory;
        int error;
    };
    WriteText(work.path() + "/garbage", "this is no program\n");
    const Failure failures[] = {
        {"missing program", work.path() + "/missing.exe", directory, ENOENT},
        {"not a program", work.path() + "/garbage", directory, ENOEXEC},
        {"missing directory", script, work.path() + "/gone", ENOENT},
    };
    for (const Failure& failure : failures) {
        SCOPED_TRACE(failure.what);
        parameters.applicationName = failure.program;
        parameters.currentDirectory = failure.currentDirectory;
        process = thread = nullptr;
        errno = 0;
        EXPECT_FALSE(Real().StartProcess(parameters, process, thread));
        EXPECT_EQ(errno, failure.error);
        EXPECT_EQ(process, nullptr);
        EXPECT_EQ(thread, nullptr);
        // The failed child has been waited for: no child is left.
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    }
    EXPECT_FALSE(fs::exists(work.path() + "/gone/started.txt"));
}

TEST(PosixHost, ListingAndDeletionNeverFollowLinks) {
    TemporaryDirectory work;
    const std::string root = work.path();
    const std::string dir = root + "/dir";
    ASSERT_EQ(mkdir((root + "/target").c_str(), 0700), 0);
    WriteText(root + "/target/inside", "kept");
    WriteText(root + "/target-file", "kept too");

    // Paths cross the seam in Windows form.
    const std::string windowsDir = root + "\\dir";
    EXPECT_EQ(Real().GetPathKind(windowsDir), PathKind::Missing);
    EXPECT_TRUE(Real().MakeDirectory(windowsDir));
    EXPECT_FALSE(Real().MakeDirectory(windowsDir)) << "the directory exists already";
    WriteText(dir + "/plain", "x");
    ASSERT_EQ(symlink((root + "/target").c_str(), (dir + "/to-dir").c_str()), 0);
    ASSERT_EQ(symlink((root + "/target-file").c_str(), (dir + "/to-file").c_str()), 0);

    EXPECT_EQ(Real().GetPathKind(windowsDir), PathKind::Directory);
    EXPECT_EQ(Real().GetPathKind(windowsDir + "\\plain"), PathKind::File);
    EXPECT_EQ(Real().GetPathKind(windowsDir + "\\to-dir"), PathKind::Link);
    EXPECT_EQ(Real().GetPathKind(windowsDir + "\\to-file"), PathKind::Link);

    EXPECT_EQ(List(windowsDir),
              (std::multiset<std::string>{".", "..", "plain", "to-dir", "to-file"}));
    EXPECT_EQ(List(windowsDir + "\\to-dir"), std::nullopt) << "a link is not listed through";
    EXPECT_EQ(List(windowsDir + "\\plain"), std::nullopt);
    EXPECT_EQ(List(root + "\\missing"), std::nullopt);

    EXPECT_FALSE(Real().RemoveEmptyDirectory(windowsDir + "\\to-dir"));
    EXPECT_FALSE(Real().DeletePlainFile(windowsDir)) << "a directory is no plain file";
    EXPECT_FALSE(Real().RemoveEmptyDirectory(windowsDir)) << "it is not empty";
    for (const char* name : {"plain", "to-dir", "to-file"}) {
        EXPECT_TRUE(Real().DeletePlainFile(windowsDir + "\\" + name)) << name;
    }
    EXPECT_FALSE(Real().DeletePlainFile(windowsDir + "\\plain")) << "already gone";
    EXPECT_TRUE(Real().RemoveEmptyDirectory(windowsDir));
    EXPECT_EQ(Real().GetPathKind(windowsDir), PathKind::Missing);

    EXPECT_EQ(ReadText(root + "/target/inside"), "kept");
    EXPECT_EQ(ReadText(root + "/target-file"), "kept too");
}

TEST(PosixHost, ProfileAndTemporaryDirectoriesFallBackToTheLinuxOnes) {
    ScopedEnvironment environment;
    std::string value = "untouched";

    environment.Set("USERPROFILE", "/profile");
    environment.Set("HOME", "/home/tester");
    EXPECT_TRUE(Real().GetEnvironment("USERPROFILE", value));
    EXPECT_EQ(value, "/profile");
    environment.Unset("USERPROFILE");
    EXPECT_TRUE(Real().GetEnvironment("USERPROFILE", value));
    EXPECT_EQ(value, "/home/tester");
    environment.Unset("HOME");
    value = "untouched";
    EXPECT_FALSE(Real().GetEnvironment("USERPROFILE", value));
    EXPECT_EQ(value, "untouched");

    environment.Set("TEMP", "/windows-temp");
    environment.Set("TMPDIR", "/unix-temp");
    EXPECT_TRUE(Real().GetEnvironment("TEMP", value));
    EXPECT_EQ(value, "/windows-temp");
    environment.Unset("TEMP");
    EXPECT_TRUE(Real().GetEnvironment("TEMP", value));
    EXPECT_EQ(value, "/unix-temp");
    environment.Set("TMPDIR", "");
    EXPECT_TRUE(Real().GetEnvironment("TEMP", value));
    EXPECT_EQ(value, "/tmp");
    environment.Unset("TMPDIR");
    EXPECT_TRUE(Real().GetEnvironment("TEMP", value));
    EXPECT_EQ(value, "/tmp");

    environment.Unset("MXV_NO_SUCH_VARIABLE");
    value = "untouched";
    EXPECT_FALSE(Real().GetEnvironment("MXV_NO_SUCH_VARIABLE", value));
    EXPECT_EQ(value, "untouched");
}

TEST(PosixHost, WindowsDirectoryComesFromTheVariableOrTheStateDirectory) {
    TemporaryDirectory work;
    ScopedEnvironment environment;
    const auto windowsDirectory = [](unsigned size) {
        std::string buffer(size, '\0');
        const unsigned length = Real().WindowsDirectory(buffer.data(), size);
        return std::make_pair(length, buffer.substr(0, buffer.find('\0')));
    };
    struct Case {
        const char* variable;
        std::string value;
        std::string expected;
    };
    const Case cases[] = {
        {"MXV_WINDOWS_DIR", work.path() + "/windows", work.path() + "/windows"},
        {"XDG_STATE_HOME", work.path() + "/state", work.path() + "/state/mxvlaunch"},
        {"HOME", work.path() + "/home", work.path() + "/home/.local/state/mxvlaunch"},
    };
    for (const char* name : {"MXV_WINDOWS_DIR", "XDG_STATE_HOME", "HOME"}) {
        environment.Unset(name);
    }
    // The sources are set from the last in line to the first, so each answers while the ones
    // before it are unset.
    for (auto it = std::rbegin(cases); it != std::rend(cases); ++it) {
        SCOPED_TRACE(it->variable);
        environment.Set(it->variable, it->value);
        const auto [length, text] = windowsDirectory(4096);
        EXPECT_EQ(text, it->expected);
        EXPECT_EQ(length, it->expected.size());
        EXPECT_TRUE(fs::is_directory(it->expected + "/Temp")) << "the run log's folder exists";
        EXPECT_EQ(windowsDirectory(static_cast<unsigned>(it->expected.size())).first,
                  it->expected.size() + 1)
            << "a buffer without room for the NUL gets the size needed";
    }
    EXPECT_EQ(Real().NativePath("C:\\a\\b c\\d.log"), "C:/a/b c/d.log");
}

TEST(PosixHost, VersionAnswersOnlyFromAWellFormedVariable) {
    ScopedEnvironment environment;
    platform::VersionInfo version;
    environment.Unset("MXV_WINDOWS_VERSION");
    version.majorVersion = 77;
    EXPECT_FALSE(Real().QueryVersion(version));
    EXPECT_EQ(version.majorVersion, 77u);

    environment.Set("MXV_WINDOWS_VERSION", "5.1.2600.3");
    version = platform::VersionInfo();
    ASSERT_TRUE(Real().QueryVersion(version));
    EXPECT_EQ(version.majorVersion, 5u);
    EXPECT_EQ(version.minorVersion, 1u);
    EXPECT_EQ(version.buildNumber, 2600u);
    EXPECT_EQ(version.servicePackMajor, 3u);
    EXPECT_EQ(version.servicePackMinor, 0u);
    EXPECT_EQ(version.platformId, 2u) << "NT";
    EXPECT_EQ(version.productType, 1u) << "workstation";
    EXPECT_EQ(version.suiteMask, 0u);
    // Through the real host, the system check sees XP Professional with service pack 3.
    EXPECT_EQ(IdentifyOperatingSystem(nullptr, 0), 14);
    EXPECT_EQ(IdentifyOperatingSystem(kSupportedSystems, kSupportedSystemCount), 14);

    environment.Set("MXV_WINDOWS_VERSION", "4294967295.0.0.65535");
    ASSERT_TRUE(Real().QueryVersion(version));
    EXPECT_EQ(version.majorVersion, 4294967295u);
    EXPECT_EQ(version.servicePackMajor, 65535u);

    for (const char* malformed :
         {"", "5", "5.1.2600", "5.1.2600.3.0", "5.1.2600.", ".5.1.2600", "5..2600.3", "5.1.x.3",
          " 5.1.2600.3", "5.1.2600.3 ", "-5.1.2600.3", "+5.1.2600.3", "5.1.2600.65536",
          "4294967296.1.2600.3", "5.1.99999999999999999999.3", "5,1,2600,3"}) {
        SCOPED_TRACE(malformed);
        environment.Set("MXV_WINDOWS_VERSION", malformed);
        version = platform::VersionInfo();
        version.majorVersion = 77;
        EXPECT_FALSE(Real().QueryVersion(version));
        EXPECT_EQ(version.majorVersion, 77u);
        EXPECT_EQ(IdentifyOperatingSystem(nullptr, 0), 0);
    }

    unsigned short architecture = 42;
    EXPECT_FALSE(Real().NativeProcessorArchitecture(architecture));
    EXPECT_EQ(architecture, 42);
    EXPECT_EQ(Real().SystemMetric(86), 0);
    EXPECT_FALSE(Real()
                     .ReadMachineRegistryValue("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                                               "ProductName", 80)
                     .read);
}

volatile sig_atomic_t alarms = 0;
void CountAlarm(int) {
    alarms = alarms + 1;
}

TEST(PosixHost, PauseWaitsTheWholeTimeThroughSignals) {
    // A handler without SA_RESTART makes every signal cut a sleep short with EINTR.
    struct sigaction counting {};
    counting.sa_handler = CountAlarm;
    sigemptyset(&counting.sa_mask);
    struct sigaction saved {};
    ASSERT_EQ(sigaction(SIGALRM, &counting, &saved), 0);
    itimerval every5ms{};
    every5ms.it_value.tv_usec = 5000;
    every5ms.it_interval.tv_usec = 5000;
    itimerval savedTimer{};
    ASSERT_EQ(setitimer(ITIMER_REAL, &every5ms, &savedTimer), 0);

    alarms = 0;
    timespec before{};
    timespec after{};
    clock_gettime(CLOCK_MONOTONIC, &before);
    Real().Pause(50);
    clock_gettime(CLOCK_MONOTONIC, &after);

    setitimer(ITIMER_REAL, &savedTimer, nullptr);
    sigaction(SIGALRM, &saved, nullptr);
    const long long elapsedMs =
        (after.tv_sec - before.tv_sec) * 1000LL + (after.tv_nsec - before.tv_nsec) / 1000000LL;
    EXPECT_GT(alarms, 0) << "the pause was interrupted";
    EXPECT_GE(elapsedMs, 50);
}

// Runs body in a child without a controlling terminal, with its standard error going to a pipe.
// Returns the child's exit status and what it wrote there.
template <typename Body> std::pair<int, std::string> RunWithoutTerminal(Body body) {
    int error[2];
    if (pipe(error) != 0) {
        return {-1, ""};
    }
    const pid_t child = ForkChild();
    if (child == 0) {
        setsid();
        dup2(error[1], STDERR_FILENO);
        close(error[0]);
        close(error[1]);
        std::exit(body());
    }
    close(error[1]);
    std::string text;
    char buffer[256];
    ssize_t got = 0;
    while ((got = read(error[0], buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    close(error[0]);
    return {ExitStatusOf(child), text};
}

TEST(PosixHost, WithoutATerminalTheConsoleIsDroppedAndTheBoxGoesToStandardError) {
    const auto [status, text] = RunWithoutTerminal([] {
        if (Real().AllocConsole()) {
            return 10;
        }
        Real().ConsoleWrite("dropped");
        char key = 'x';
        if (Real().ConsoleReadKey(key) || key != 'x') {
            return 11;
        }
        Real().DebugOutput("not shown anywhere");
        return Real().ShowMessageBox("A verification tool is already running.", "ERROR", 0x10);
    });
    EXPECT_EQ(status, 1) << "the box counts as closed with OK";
    EXPECT_EQ(text, "ERROR: A verification tool is already running.\n");
}

TEST(PosixHost, TheConsoleIsTheControllingTerminal) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);
    // A raw terminal passes the bytes as they are: no echo of its own, no line ends added.
    termios mode{};
    ASSERT_EQ(tcgetattr(master, &mode), 0);
    cfmakeraw(&mode);
    ASSERT_EQ(tcsetattr(master, TCSANOW, &mode), 0);

    const pid_t child = ForkChild();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setsid();
        // The first terminal that a session leader opens becomes its controlling terminal.
        const int terminal = open(slave.c_str(), O_RDWR);
        if (terminal < 0 || !Real().AllocConsole()) {
            std::exit(10);
        }
        // The descriptor stays open, so that the terminal does not hang up when the console is
        // released.
        Real().ConsoleWrite("Press any key to exit ... ");
        char key = 0;
        if (!Real().ConsoleReadKey(key) || key != 'k') {
            std::exit(11);
        }
        Real().FreeConsole();
        Real().ConsoleWrite("after the console was released");
        if (Real().ConsoleReadKey(key)) {
            std::exit(12);
        }
        // A message box goes to the terminal, with or without an allocated console.
        std::exit(Real().ShowMessageBox("The verification tool is not supported on this "
                                        "operating system.",
                                        "ERROR", 0x10) == 1
                      ? 0
                      : 13);
    }
    EXPECT_EQ(ReadUntil(master, "Press any key to exit ... "), "Press any key to exit ... ");
    ASSERT_EQ(write(master, "k", 1), 1);
    const std::string box =
        "ERROR: The verification tool is not supported on this operating system.\n";
    EXPECT_EQ(ReadUntil(master, box), "k" + box)
        << "the key is echoed, and nothing is written while no console is allocated";
    EXPECT_EQ(ExitStatusOf(child), 0);
    pollfd more{master, POLLIN, 0};
    char buffer[64];
    const bool nothingMore = poll(&more, 1, 0) == 0 || read(master, buffer, sizeof buffer) <= 0;
    EXPECT_TRUE(nothingMore) << "nothing is written after the release";
    close(master);
}

TEST(PosixHost, LibrariesLoadByBareNameAndGiveTheirExports) {
    const Handle library = Real().LoadLibraryByName("libc.so.6");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(Real().FindExport(library, "getpid"), dlsym(library, "getpid"));
    EXPECT_NE(Real().FindExport(library, "getpid"), nullptr);
    EXPECT_EQ(Real().FindExport(library, "MxvNoSuchExport"), nullptr);
    EXPECT_EQ(Real().LoadLibraryByName("MxvNoSuchLibrary.dll"), nullptr);

    // A library in the current directory is found by its bare name.
    TemporaryDirectory work;
    const fs::path saved = fs::current_path();
    fs::copy_file(fs::path(MXV_TEST_PAYLOAD_DIR) / "TraceLib.dll",
                  fs::path(work.path()) / "MxvCurrentDirectory.dll");
    fs::current_path(work.path());
    const Handle here = Real().LoadLibraryByName("MxvCurrentDirectory.dll");
    fs::current_path(saved);
    ASSERT_NE(here, nullptr);
    using NameFunction = const char* (*)();
    const auto probeName =
        reinterpret_cast<NameFunction>(Real().FindExport(here, "ProbeLibraryName"));
    ASSERT_NE(probeName, nullptr);
    EXPECT_STREQ(probeName(), "TraceLib.dll");
}

// The local time lies between two readings of the clock that the host reads, CLOCK_REALTIME, taken
// just before and just after it, to the millisecond. std::time() would not do: it reads a coarser
// clock, which just after a second boundary can still give the second before.
TEST(PosixHost, LocalTimeIsNow) {
    const auto milliseconds = [](std::time_t seconds, long nanoseconds) {
        return static_cast<long long>(seconds) * 1000 + nanoseconds / 1000000;
    };
    timespec before{};
    ASSERT_EQ(clock_gettime(CLOCK_REALTIME, &before), 0);
    const platform::SystemTime local = Real().LocalTime();
    timespec after{};
    ASSERT_EQ(clock_gettime(CLOCK_REALTIME, &after), 0);
    std::tm now{};
    now.tm_year = local.year - 1900;
    now.tm_mon = local.month - 1;
    now.tm_mday = local.day;
    now.tm_hour = local.hour;
    now.tm_min = local.minute;
    now.tm_sec = local.second;
    now.tm_isdst = -1;
    const long long seen = milliseconds(std::mktime(&now), local.milliseconds * 1000000L);
    EXPECT_EQ(now.tm_wday, local.dayOfWeek);
    EXPECT_GE(seen, milliseconds(before.tv_sec, before.tv_nsec));
    EXPECT_LE(seen, milliseconds(after.tv_sec, after.tv_nsec));
}

} // namespace
