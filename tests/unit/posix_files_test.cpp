// Tests of the POSIX host's file writing and appending on the real disk: whole writes, failures
// that are seen and cleaned up, and appends from many processes at once.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "payload/extract_files.h"
#include "platform/host.h"
#include "tests/support/test_tables.h"

namespace fs = std::filesystem;
using testing_support::ReadFileBytes;
using testing_support::TestTables;

namespace {

class PosixFiles : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("mxv-posix-files-" + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    // The path in Windows form, as core code gives it to the host.
    std::string WindowsForm(const fs::path& path) const {
        std::string text = path.string();
        for (char& c : text) {
            if (c == '/') {
                c = '\\';
            }
        }
        return text;
    }

    fs::path root_;
};

} // namespace

TEST_F(PosixFiles, WritingTruncatesAndAppendingKeepsAndAddsExactBytes) {
    platform::Host& host = platform::host();
    const fs::path file = root_ / "data.bin";
    std::ofstream(file) << std::string(100, 'x');
    platform::Handle written = host.OpenFileForWriting(WindowsForm(file));
    ASSERT_NE(written, nullptr);
    const std::string bytes("a\0b\nc\r\n", 7);
    EXPECT_EQ(host.WriteFile(written, bytes.data(), bytes.size()), bytes.size());
    EXPECT_TRUE(host.CloseFile(written));
    EXPECT_EQ(ReadFileBytes(file.string()), bytes) << "the old, longer content is gone";

    const fs::path log = root_ / "debug.log";
    std::ofstream(log) << "earlier\n";
    platform::Handle appended = host.OpenFileForAppending(WindowsForm(log));
    ASSERT_NE(appended, nullptr);
    EXPECT_TRUE(host.AppendText(appended, "one\n"));
    EXPECT_TRUE(host.AppendText(appended, "two\tfields\n"));
    EXPECT_TRUE(host.CloseFile(appended));
    EXPECT_EQ(ReadFileBytes(log.string()), "earlier\none\ntwo\tfields\n")
        << "line feeds as they are";

    // A missing file is created; a missing folder makes both opens fail.
    platform::Handle created = host.OpenFileForAppending(WindowsForm(root_ / "new.log"));
    ASSERT_NE(created, nullptr);
    EXPECT_TRUE(host.CloseFile(created));
    EXPECT_TRUE(fs::exists(root_ / "new.log"));
    EXPECT_EQ(host.OpenFileForAppending(WindowsForm(root_ / "missing" / "x.log")), nullptr);
    EXPECT_EQ(host.OpenFileForWriting(WindowsForm(root_ / "missing" / "x.bin")), nullptr);

    // A log that is a second name of another file, or a symbolic link to one, is not opened, and
    // the other file stays as it was.
    const fs::path other = root_ / "other.txt";
    std::ofstream(other) << "someone else's\n";
    fs::create_hard_link(other, root_ / "hard.log");
    fs::create_symlink(other, root_ / "soft.log");
    for (const char* name : {"hard.log", "soft.log"}) {
        EXPECT_EQ(host.OpenFileForAppending(WindowsForm(root_ / name)), nullptr) << name;
    }
    EXPECT_EQ(ReadFileBytes(other.string()), "someone else's\n");
}

TEST_F(PosixFiles, AWriteToAFullDiskIsSeenAndTheFileIsRemoved) {
    platform::Host& host = platform::host();
    platform::Handle full = host.OpenFileForWriting("\\dev\\full");
    ASSERT_NE(full, nullptr);
    const std::string bytes(100, 'z');
    EXPECT_LT(host.WriteFile(full, bytes.data(), bytes.size()), bytes.size());
    host.CloseFile(full);

    // Two files of a payload; the second one's name leads to the full device.
    TestTables tables;
    tables.AddCompressedFile("whole.dll", std::string(4000, 'w'));
    tables.AddStoredFile("full.dll", std::string(300, 'f'));
    fs::create_symlink("/dev/full", root_ / "full.dll");
    payload::ExtractOptions options;
    options.directory = WindowsForm(root_);

    const payload::ExtractResult kept =
        payload::ExtractFiles(tables.Resources(), tables.Chunks(), tables.Count(), options);
    EXPECT_EQ(kept.failures, 1u);
    EXPECT_FALSE(fs::exists(fs::symlink_status(root_ / "full.dll"))) << "removed again";
    EXPECT_EQ(ReadFileBytes((root_ / "whole.dll").string()), std::string(4000, 'w'));
    EXPECT_EQ(kept.written, std::vector<std::string>{WindowsForm(root_ / "whole.dll")});

    fs::create_symlink("/dev/full", root_ / "full.dll");
    options.allOrNothing = true;
    const payload::ExtractResult none =
        payload::ExtractFiles(tables.Resources(), tables.Chunks(), tables.Count(), options);
    EXPECT_EQ(none.failures, 1u);
    EXPECT_TRUE(none.written.empty());
    EXPECT_TRUE(fs::is_empty(root_)) << "all files or none";
}

TEST_F(PosixFiles, ManyProcessesAppendingAtOnceLoseNoLine) {
    constexpr int kProcesses = 20;
    constexpr int kLinesEach = 200;
    const fs::path log = root_ / "debug.log";
    const std::string windowsLog = WindowsForm(log);
    // The children wait on a pipe until all of them exist, so that their appends overlap.
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(gate[1]);
            char go = 0;
            const bool released = read(gate[0], &go, 1) == 0;
            platform::Host& host = platform::host();
            platform::Handle file = host.OpenFileForAppending(windowsLog);
            bool ok = released && file != nullptr;
            for (int n = 0; ok && n < kLinesEach; ++n) {
                const std::string line = "process " + std::to_string(p) + " line " +
                                         std::to_string(n) + " " +
                                         std::string(60, static_cast<char>('a' + p)) + "\n";
                ok = host.AppendText(file, line);
            }
            ok = file != nullptr && host.CloseFile(file) && ok;
            _exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    close(gate[0]);
    close(gate[1]); // Every child's read returns now.
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    std::istringstream lines(ReadFileBytes(log.string()));
    std::set<std::string> seen;
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        seen.insert(line);
    }
    EXPECT_EQ(count, kProcesses * kLinesEach);
    for (int p = 0; p < kProcesses; ++p) {
        for (int n = 0; n < kLinesEach; n += 37) {
            const std::string expected = "process " + std::to_string(p) + " line " +
                                         std::to_string(n) + " " +
                                         std::string(60, static_cast<char>('a' + p));
            EXPECT_EQ(seen.count(expected), 1u) << expected;
        }
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kProcesses * kLinesEach)) << "all intact";
}
