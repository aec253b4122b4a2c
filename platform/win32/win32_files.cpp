// Writing files and appending to the run log on Windows, with CreateFileW, WriteFile and
// CloseHandle. The C runtime's buffered streams are not used for this: under Wine, fclose returns 0
// when its final flush fails on a full disk, so a small file could be lost without a trace. A
// WriteFile call reports a full disk itself.
#include <windows.h>

#include <string>

#include "platform/access_rules.h"
#include "platform/c_runtime_host.h"
#include "platform/win32/win32_security.h"
#include "platform/win32/win32_text.h"

namespace platform {

Handle CRuntimeHost::OpenFileForWriting(const std::string& path) {
    HANDLE file = ::CreateFileW(Wide(NativePath(path)).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

// A failed call counts as nothing written, whatever it reports, so that it can never pass for a
// whole write. The count matters as much as the result: on a nearly full disk Wine's WriteFile
// reports success for a write that fell short.
std::size_t CRuntimeHost::WriteFile(Handle file, const void* data, std::size_t size) {
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
    return ok != FALSE ? static_cast<std::size_t>(written) : 0;
}

bool CRuntimeHost::CloseFile(Handle file) {
    return ::CloseHandle(file) != FALSE;
}

// Append-only access (FILE_APPEND_DATA without FILE_WRITE_DATA) makes Windows put every write at
// the end of the file as one step, the same for all processes that share it; the C runtime's
// append mode instead moves to the end and then writes, so two processes could write at the same
// place and one line would be lost. Read access is asked for as well, because the byte-range lock
// of the append turn needs it; where the file grants appending but not reading, it is opened to
// append only and written without the lock.
//
// The log lies in a folder where every user may create files, so another user could have put a
// link in its place. The open never follows a reparse point (a symbolic link or a junction is
// opened as itself), and what was opened is then checked: a second name made with a hard link, a
// reparse point, a directory or a device is closed again unwritten. Both opens ask for the right
// to read the attributes, without which the check cannot be made; a log that withholds it is not
// written. A log that the open creates gets a descriptor that lets every user append to it; when
// that cannot be built, it gets the folder's default.
Handle CRuntimeHost::OpenFileForAppending(const std::string& path) {
    const std::wstring native = Wide(NativePath(path));
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    SecurityFromRules security(RunLogAccess());
    const DWORD append = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES;
    HANDLE file = ::CreateFileW(native.c_str(), append | FILE_READ_DATA, share,
                                security.Attributes(), OPEN_ALWAYS, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        file = ::CreateFileW(native.c_str(), append, share, security.Attributes(), OPEN_ALWAYS,
                             flags, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION facts;
    if (!::GetFileInformationByHandle(file, &facts) ||
        !IsAppendableRunLog(facts.nNumberOfLinks, facts.dwFileAttributes)) {
        ::CloseHandle(file);
        return nullptr;
    }
    return file;
}

namespace {

// One byte far past any end the file will reach: the append turn, locked by every appender around
// its write. Wine does not make append-only writes atomic between processes (it finds the end and
// then writes, and twenty processes appending at once lose lines), so the appenders take turns on
// this byte. It locks no data, so readers are never held up, and the system releases it when its
// holder ends.
OVERLAPPED TurnByte() {
    OVERLAPPED turn{};
    turn.Offset = 0xFFFFFFF0u;
    turn.OffsetHigh = 0x7FFFFFFFu;
    return turn;
}

} // namespace

// The text is written as a text-mode stream would write it, each line feed as CR LF, and all of it
// in one WriteFile call so that it is one append.
bool CRuntimeHost::AppendText(Handle file, const std::string& text) {
    std::string lines;
    lines.reserve(text.size() + 2);
    for (const char c : text) {
        if (c == '\n') {
            lines += '\r';
        }
        lines += c;
    }
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(file, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    return ok != FALSE && written == lines.size();
}

// The lock is asked for without waiting. Only a lock violation means that another process holds
// the byte; any other failure means that this file cannot be locked at all (a file system without
// byte-range locks, or a file opened to append only), and waiting would not change that.
AppendTurn CRuntimeHost::TryAppendTurn(Handle file) {
    OVERLAPPED turn = TurnByte();
    if (::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &turn)) {
        return AppendTurn::Taken;
    }
    return ::GetLastError() == ERROR_LOCK_VIOLATION ? AppendTurn::Busy : AppendTurn::NoTurn;
}

void CRuntimeHost::ReleaseAppendTurn(Handle file) {
    OVERLAPPED turn = TurnByte();
    ::UnlockFileEx(file, 0, 1, 0, &turn);
}

} // namespace platform
