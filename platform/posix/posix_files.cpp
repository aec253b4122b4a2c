// Writing files and appending to the run log on POSIX systems, with open, write and close and no
// buffering in between, so that every short write and every failed close is seen by the caller.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/access_rules.h"
#include "platform/c_runtime_host.h"

namespace platform {
namespace {

// What a file handle of this host holds.
struct PosixFile {
    int fd;
};

Handle Adopt(int fd) {
    return fd < 0 ? nullptr : new PosixFile{fd};
}

int Descriptor(Handle file) {
    return static_cast<PosixFile*>(file)->fd;
}

// One write call, repeated only when a signal interrupted it before anything was written.
ssize_t WriteOnce(int fd, const void* data, std::size_t size) {
    ssize_t written = 0;
    do {
        written = write(fd, data, size);
    } while (written < 0 && errno == EINTR);
    return written;
}

} // namespace

Handle CRuntimeHost::OpenFileForWriting(const std::string& path) {
    return Adopt(open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
}

std::size_t CRuntimeHost::WriteFile(Handle file, const void* data, std::size_t size) {
    const ssize_t written = WriteOnce(Descriptor(file), data, size);
    return written < 0 ? 0 : static_cast<std::size_t>(written);
}

// The handle is released even when close reports an error: the descriptor is gone either way.
bool CRuntimeHost::CloseFile(Handle file) {
    auto* posixFile = static_cast<PosixFile*>(file);
    const bool closed = close(posixFile->fd) == 0;
    delete posixFile;
    return closed;
}

// O_APPEND makes the kernel move to the end and write as one step, so appenders in other processes
// cannot slip in between. O_NOFOLLOW refuses a symbolic link in the log's place, and what was
// opened must be a plain file with one name, under the same rule as on Windows.
Handle CRuntimeHost::OpenFileForAppending(const std::string& path) {
    const int fd = open(NativePath(path).c_str(),
                        O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
        return nullptr;
    }
    // The file's kind in the attribute bits of the rule; a file that cannot be looked at counts as
    // no plain file.
    struct stat facts {};
    const unsigned attributes = fstat(fd, &facts) != 0    ? kAttributeDevice
                                : S_ISDIR(facts.st_mode)  ? kAttributeDirectory
                                : !S_ISREG(facts.st_mode) ? kAttributeDevice
                                                          : 0u;
    if (!IsAppendableRunLog(static_cast<unsigned long>(facts.st_nlink), attributes)) {
        close(fd);
        return nullptr;
    }
    return Adopt(fd);
}

// A line end is a line feed here, so the text goes out as it stands.
bool CRuntimeHost::AppendText(Handle file, const std::string& text) {
    const ssize_t written = WriteOnce(Descriptor(file), text.data(), text.size());
    return written >= 0 && static_cast<std::size_t>(written) == text.size();
}

// O_APPEND already keeps the appends of concurrent processes apart, so there is no turn to take.
AppendTurn CRuntimeHost::TryAppendTurn(Handle) {
    return AppendTurn::NoTurn;
}

void CRuntimeHost::ReleaseAppendTurn(Handle) {}

} // namespace platform
