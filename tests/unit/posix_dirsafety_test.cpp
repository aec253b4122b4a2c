// Tests of the POSIX host's functions for the safety of the execution directory, on real files of
// this machine: the absolute-path rule, permissions given without following a link, links removed
// as links, a real stale tree with links and read-only entries cleared by the launch object, and a
// running program seen through /proc.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "MXVLaunch/mini_launch.h"
#include "platform/host.h"

namespace {

namespace fs = std::filesystem;

// The user that a test run as root becomes, so that permission bits count.
constexpr uid_t kNobody = 65534;

class PosixDirSafety : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("mxv-dirsafety-" + std::to_string(getpid()));
        Unprotect(root_);
        fs::remove_all(root_);
        fs::create_directories(root_);
        fs::permissions(root_, fs::perms(0755));
        // The launch object's lock file goes here, away from the lock of a real launcher.
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        hadRuntime_ = runtime != nullptr;
        savedRuntime_ = hadRuntime_ ? runtime : "";
        setenv("XDG_RUNTIME_DIR", root_.c_str(), 1);
    }

    void TearDown() override {
        if (hadRuntime_) {
            setenv("XDG_RUNTIME_DIR", savedRuntime_.c_str(), 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
        Unprotect(root_);
        fs::remove_all(root_);
    }

    // Gives every directory beneath path its owner's permissions back, without following links,
    // so that whatever a failed test left behind can be removed.
    static void Unprotect(const fs::path& path) {
        std::error_code ignored;
        if (!fs::is_directory(fs::symlink_status(path, ignored))) {
            return;
        }
        chmod(path.c_str(), 0700);
        for (const auto& entry : fs::directory_iterator(path, ignored)) {
            Unprotect(entry.path());
        }
    }

    static void Write(const fs::path& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }

    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    static mode_t Mode(const fs::path& path) {
        struct stat info {};
        return lstat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
    }

    fs::path root_;
    bool hadRuntime_ = false;
    std::string savedRuntime_;
    platform::Host& host_ = platform::SystemHost();
};

// Runs the removal of directory by a launch object. As root, permission bits would not count, so
// then the tree is given to an unprivileged user and the removal runs in a child process as that
// user.
bool RemoveAsOwner(const fs::path& root, const std::string& directory) {
    const auto remove = [&] {
        MiniLaunch launch;
        launch.executionDirectory = directory;
        return launch.RemoveExecutionDirectory();
    };
    if (geteuid() != 0) {
        return remove();
    }
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (lchown(entry.path().c_str(), kNobody, kNobody) != 0) {
            return false;
        }
    }
    if (lchown(root.c_str(), kNobody, kNobody) != 0) {
        return false;
    }
    const pid_t child = fork();
    if (child == 0) {
        const bool dropped =
            setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0;
        _exit(dropped && remove() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

} // namespace

TEST_F(PosixDirSafety, AnAbsolutePathStartsWithASlash) {
    EXPECT_TRUE(host_.IsAbsolutePath("/"));
    EXPECT_TRUE(host_.IsAbsolutePath("/home/tester"));
    for (const char* relative : {"", ".", "DVT", "./home", "home/tester", "~/x", "C:\\Users\\x",
                                 "\\\\server\\share", "\\home"}) {
        EXPECT_FALSE(host_.IsAbsolutePath(relative)) << relative;
    }
}

TEST_F(PosixDirSafety, PermissionsAndLinkRemovalNeverFollowALink) {
    const fs::path outside = root_ / "outside";
    fs::create_directory(outside);
    Write(outside / "keep.txt", "kept");
    fs::permissions(outside, fs::perms(0555));
    fs::create_directory_symlink(outside, root_ / "link");

    EXPECT_FALSE(host_.MakeWritable((root_ / "link").string()));
    EXPECT_EQ(Mode(outside), 0555u) << "the target's permissions are not changed";
    EXPECT_FALSE(host_.MakeWritable((root_ / "missing").string()));

    fs::create_directory(root_ / "closed");
    fs::permissions(root_ / "closed", fs::perms(0));
    EXPECT_TRUE(host_.MakeWritable((root_ / "closed").string()));
    EXPECT_EQ(Mode(root_ / "closed") & 0700u, 0700u) << "read, write and search for the owner";
    Write(root_ / "read-only", "x");
    fs::permissions(root_ / "read-only", fs::perms(0444));
    EXPECT_TRUE(host_.MakeWritable((root_ / "read-only").string()));
    EXPECT_EQ(Mode(root_ / "read-only"), 0644u);

    EXPECT_FALSE(host_.RemoveLink((root_ / "read-only").string())) << "not a link";
    EXPECT_TRUE(fs::exists(root_ / "read-only"));
    EXPECT_FALSE(host_.RemoveLink((root_ / "closed").string())) << "not a link";
    EXPECT_TRUE(host_.RemoveLink((root_ / "link").string()));
    EXPECT_FALSE(fs::exists(fs::symlink_status(root_ / "link")));
    EXPECT_EQ(Read(outside / "keep.txt"), "kept");
    EXPECT_EQ(host_.GetPathKind((root_ / "link").string()), platform::PathKind::Missing);
}

TEST_F(PosixDirSafety, AStaleTreeIsClearedAndWhatItsLinksPointAtSurvives) {
    // Things of the user's outside the execution directory, which links inside it point at.
    const fs::path outside = root_ / "outside";
    fs::create_directories(outside / "inner");
    Write(outside / "keep.txt", "kept");
    Write(outside / "inner" / "deep.txt", "deep");
    Write(root_ / "outside-file.txt", "file kept");
    fs::permissions(outside, fs::perms(0555));
    fs::permissions(root_ / "outside-file.txt", fs::perms(0444));

    // The stale execution directory: links of every kind, and a read-only tree.
    const fs::path dvt = root_ / "DVT";
    fs::create_directories(dvt / "sub" / "deeper");
    Write(dvt / "a.dll", "a");
    Write(dvt / "sub" / "b.dll", "b");
    Write(dvt / "sub" / "deeper" / "c.dll", "c");
    fs::create_directory_symlink(outside, dvt / "to-dir");
    fs::create_symlink(root_ / "outside-file.txt", dvt / "sub" / "to-file");
    fs::create_symlink(root_ / "nowhere", dvt / "dangling");
    fs::permissions(dvt / "a.dll", fs::perms(0444));
    fs::permissions(dvt / "sub" / "b.dll", fs::perms(0));
    fs::permissions(dvt / "sub" / "deeper", fs::perms(0));
    fs::permissions(dvt / "sub", fs::perms(0500));
    fs::permissions(dvt, fs::perms(0500));

    EXPECT_TRUE(RemoveAsOwner(root_, dvt.string()));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dvt)));
    EXPECT_EQ(Read(outside / "keep.txt"), "kept");
    EXPECT_EQ(Read(outside / "inner" / "deep.txt"), "deep");
    EXPECT_EQ(Read(root_ / "outside-file.txt"), "file kept");
    EXPECT_EQ(Mode(outside), 0555u) << "nothing was done through the link";
    EXPECT_EQ(Mode(root_ / "outside-file.txt"), 0444u);
}

TEST_F(PosixDirSafety, ARunningProgramIsInUseUntilItEnds) {
    const fs::path program = root_ / "NQVQlar.exe";
    fs::copy_file("/bin/sleep", program);
    fs::permissions(program, fs::perms(0755));
    fs::create_symlink(program, root_ / "link.exe");
    EXPECT_FALSE(host_.FileInUse(program.string())) << "nothing runs it yet";

    // The pipe closes on exec, so the read below returns once the program runs.
    int started[2];
    ASSERT_EQ(pipe2(started, O_CLOEXEC), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(started[0]);
        execl(program.c_str(), program.c_str(), "1000", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(started[1]);
    char ignored = 0;
    EXPECT_EQ(read(started[0], &ignored, 1), 0);
    close(started[0]);

    EXPECT_TRUE(host_.FileInUse(program.string()));
    EXPECT_FALSE(host_.FileInUse((root_ / "link.exe").string())) << "a link is no plain file";
    EXPECT_FALSE(host_.FileInUse(root_.string())) << "a directory is no plain file";
    fs::copy_file(program, root_ / "copy.exe");
    EXPECT_FALSE(host_.FileInUse((root_ / "copy.exe").string())) << "a copy is another file";

    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_FALSE(host_.FileInUse(program.string())) << "the program has ended";
    EXPECT_FALSE(host_.FileInUse((root_ / "missing.exe").string()));
}
