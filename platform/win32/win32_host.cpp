// The host on Windows: the Windows calls behind each service of the seam. Paths and names arrive as
// UTF-8 and go to the wide calls; text that is only ever ASCII (console, mutex and library names,
// registry names, messages) stays with the 8-bit calls.
#include <windows.h>

// tlhelp32.h needs the declarations of windows.h before it.
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/c_runtime_host.h"
#include "platform/win32/kernel_function.h"
#include "platform/win32/path_forms.h"
#include "platform/win32/running_executable.h"
#include "platform/win32/utf16.h"
#include "platform/win32/win32_library_search.h"
#include "platform/win32/win32_security.h"
#include "platform/win32/win32_text.h"
#include "platform/windows_path_rules.h"

namespace platform {
namespace {

class Win32Host : public CRuntimeHost {
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
    // off, so that one key is enough, and echoes its character. A key without a character (an
    // arrow, a function key) ends the wait too, with key set to NUL and nothing echoed; a modifier
    // pressed alone does not.
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
                !IsModifierKey(record.Event.KeyEvent.wVirtualKeyCode)) {
                key = record.Event.KeyEvent.uChar.AsciiChar;
                got = true;
                break;
            }
        }
        if (haveMode) {
            ::SetConsoleMode(in, savedMode);
        }
        if (got && key != '\0') {
            ConsoleWrite(std::string(1, key));
        }
        return got;
    }

    // GetEnvironmentVariableW answers 0 both for a missing variable and for an empty one; only the
    // last error tells them apart. The value can change between the call that asks for the size and
    // the one that reads it, so the read is tried again while it does not fit.
    bool GetEnvironment(const std::string& name, std::string& value) override {
        const std::wstring wideName = Wide(name);
        std::wstring buffer(MAX_PATH + 1, L'\0');
        for (int attempt = 0; attempt < 4; ++attempt) {
            ::SetLastError(ERROR_SUCCESS);
            const DWORD got = ::GetEnvironmentVariableW(wideName.c_str(), &buffer[0],
                                                        static_cast<DWORD>(buffer.size()));
            if (got == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                return false;
            }
            if (got < buffer.size()) {
                buffer.resize(got);
                // A surrogate out of its pair is no character: such a value names no folder that
                // the launcher could use, so it counts as not given.
                if (!IsWellFormedUtf16(buffer)) {
                    return false;
                }
                value = Utf16ToUtf8(buffer);
                return true;
            }
            buffer.assign(got, L'\0');
        }
        return false;
    }

    // The directory's UTF-8 form is copied, so the size asked for and the length given count its
    // bytes.
    unsigned WindowsDirectory(char* buffer, unsigned size) override {
        wchar_t wide[MAX_PATH + 1];
        const UINT length = ::GetWindowsDirectoryW(wide, MAX_PATH + 1);
        if (length == 0 || length > MAX_PATH) {
            return 0;
        }
        const std::string directory = Utf16ToUtf8(std::wstring(wide, length));
        if (directory.size() + 1 > size) {
            return static_cast<unsigned>(directory.size() + 1);
        }
        directory.copy(buffer, directory.size());
        buffer[directory.size()] = '\0';
        return static_cast<unsigned>(directory.size());
    }

    std::string NativePath(const std::string& path) override { return path; }

    // GetLocalTime gives the calendar's fields directly. The C runtime's time and localtime of
    // this 32-bit build count seconds in 32 bits, which run out in January 2038.
    SystemTime LocalTime() override {
        SYSTEMTIME now;
        ::GetLocalTime(&now);
        SystemTime local;
        local.year = now.wYear;
        local.month = now.wMonth;
        local.dayOfWeek = now.wDayOfWeek;
        local.day = now.wDay;
        local.hour = now.wHour;
        local.minute = now.wMinute;
        local.second = now.wSecond;
        local.milliseconds = now.wMilliseconds;
        return local;
    }

    Handle OpenNamedMutex(const std::string& name) override {
        return ::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str());
    }

    // The system says whether the name existed before this call; that is the only way to tell a
    // mutex made by a launcher that started at the same instant from one made here.
    Handle CreateNamedMutex(const std::string& name, bool& alreadyExisted) override {
        HANDLE mutex = ::CreateMutexA(nullptr, TRUE, name.c_str());
        alreadyExisted = mutex != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS;
        return mutex;
    }

    void CloseSystemHandle(Handle handle) override { ::CloseHandle(handle); }

    // A reparse point (a symbolic link or a junction) is reported as a link, whatever it points at.
    PathKind GetPathKind(const std::string& path) override {
        const DWORD attributes = Attributes(path);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            return PathKind::Missing;
        }
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return PathKind::Link;
        }
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Directory : PathKind::File;
    }

    Handle FindFirst(const std::string& pattern, std::string& name) override {
        WIN32_FIND_DATAW data{};
        HANDLE find = ::FindFirstFileW(EntryPath(pattern).c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) {
            return nullptr;
        }
        name = Utf16ToUtf8(std::wstring(data.cFileName));
        return find;
    }

    bool FindNext(Handle find, std::string& name) override {
        WIN32_FIND_DATAW data{};
        if (!::FindNextFileW(find, &data)) {
            return false;
        }
        name = Utf16ToUtf8(std::wstring(data.cFileName));
        return true;
    }

    void FindEnd(Handle find) override { ::FindClose(find); }

    bool DeletePlainFile(const std::string& path) override {
        return ::DeleteFileW(EntryPath(path).c_str()) != FALSE;
    }

    bool RemoveEmptyDirectory(const std::string& path) override {
        return ::RemoveDirectoryW(EntryPath(path).c_str()) != FALSE;
    }

    // The directory gets a protected descriptor of its own; when none can be built, it is not
    // created, rather than created open to whoever may write to its parent.
    bool MakeDirectory(const std::string& path) override {
        SecurityFromRules security(ExecutionDirectoryAccess());
        return security.Attributes() != nullptr &&
               ::CreateDirectoryW(Wide(path).c_str(), security.Attributes()) != FALSE;
    }

    void Pause(unsigned milliseconds) override { ::Sleep(milliseconds); }

    // The utility is an 8-bit program: it sees its own path and current directory through the
    // system's code page, where each letter that the code page lacks becomes a "?" and the path
    // leads nowhere, and it holds them in buffers of MAX_PATH bytes. So each is given in a form
    // that the code page holds whole within that size: the path itself, or else its short (8.3)
    // form. Where neither will do, the utility is not started, as if the start had failed.
    bool StartProcess(const StartParameters& parameters, Handle& process, Handle& thread) override {
        const std::wstring application = ForEightBitProgram(Wide(parameters.applicationName));
        const std::wstring directory = ForEightBitProgram(Wide(parameters.currentDirectory));
        if (application.empty() || directory.empty()) {
            return false;
        }
        // The system may write to the command line, so it gets a buffer of its own.
        std::wstring commandLine = Wide(parameters.commandLine);
        STARTUPINFOW startup;
        ::ZeroMemory(&startup, sizeof startup);
        startup.cb = sizeof startup;
        startup.dwFlags = parameters.startupFlags;
        startup.wShowWindow = parameters.showWindow;
        commandLine.push_back(L'\0');
        PROCESS_INFORMATION started{};
        if (!::CreateProcessW(application.c_str(), &commandLine[0], nullptr, nullptr,
                              parameters.inheritHandles ? TRUE : FALSE, parameters.creationFlags,
                              nullptr, directory.c_str(), &startup, &started)) {
            return false;
        }
        process = started.hProcess;
        thread = started.hThread;
        return true;
    }

    void WaitForProcess(Handle process) override { ::WaitForSingleObject(process, INFINITE); }

    // ASCII text goes out as it stands; other text, such as a path in another script, through the
    // wide call, so that a debugger that reads Unicode shows it whole.
    void DebugOutput(const std::string& text) override {
        if (IsAscii(text)) {
            ::OutputDebugStringA(text.c_str());
        } else {
            ::OutputDebugStringW(Wide(text).c_str());
        }
    }

    int ShowMessageBox(const std::string& text, const std::string& caption,
                       unsigned style) override {
        return ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
    }

    bool QueryVersion(VersionInfo& version) override {
        OSVERSIONINFOEXA record;
        ::ZeroMemory(&record, sizeof record);
        record.dwOSVersionInfoSize = sizeof record;
        const bool answered = ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&record)) != FALSE;
        version.majorVersion = record.dwMajorVersion;
        version.minorVersion = record.dwMinorVersion;
        version.buildNumber = record.dwBuildNumber;
        version.platformId = record.dwPlatformId;
        version.servicePackMajor = record.wServicePackMajor;
        version.servicePackMinor = record.wServicePackMinor;
        version.suiteMask = record.wSuiteMask;
        version.productType = record.wProductType;
        return answered;
    }

    // GetNativeSystemInfo first came with Windows XP, so it is looked up rather than imported: the
    // launcher must still load on Windows 2000.
    bool NativeProcessorArchitecture(unsigned short& architecture) override {
        using NativeInfo = void(WINAPI*)(LPSYSTEM_INFO);
        auto function = KernelFunction<NativeInfo>("GetNativeSystemInfo");
        if (function == nullptr) {
            return false;
        }
        SYSTEM_INFO info;
        ::ZeroMemory(&info, sizeof info);
        function(&info);
        architecture = info.wProcessorArchitecture;
        return true;
    }

    int SystemMetric(int index) override { return ::GetSystemMetrics(index); }

    RegistryValue ReadMachineRegistryValue(const std::string& key, const std::string& name,
                                           unsigned bufferSize) override {
        RegistryValue value;
        HKEY opened = nullptr;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE, &opened) !=
            ERROR_SUCCESS) {
            return value;
        }
        std::vector<char> buffer(bufferSize);
        DWORD size = bufferSize;
        const LONG status = ::RegQueryValueExA(opened, name.c_str(), nullptr, nullptr,
                                               reinterpret_cast<BYTE*>(buffer.data()), &size);
        ::RegCloseKey(opened);
        value.read = status == ERROR_SUCCESS;
        value.reportedSize = size;
        if (value.read) {
            value.bytes.assign(buffer.data(), size < bufferSize ? size : bufferSize);
        }
        return value;
    }

    void SecureLibrarySearch() override { platform::SecureLibrarySearch(); }

    Handle LoadLibraryByName(const std::string& name) override { return LoadBesideProgram(name); }

    const void* FindExport(Handle library, const std::string& name) override {
        return reinterpret_cast<const void*>(
            ::GetProcAddress(static_cast<HMODULE>(library), name.c_str()));
    }

    // --- Safety of the execution directory ---

    bool IsAbsolutePath(const std::string& path) override { return IsAbsoluteWindowsPath(path); }

    std::size_t PathLength(const std::string& path) override { return WindowsPathLength(path); }

    // Only the read-only attribute stands in the way of deleting a file or removing a directory
    // that belongs to the user. Clearing the last attribute needs FILE_ATTRIBUTE_NORMAL, because
    // the value 0 is not accepted. A reparse point is left alone.
    bool MakeWritable(const std::string& path) override {
        const DWORD attributes = Attributes(path);
        if (attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return false;
        }
        if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) {
            return true;
        }
        DWORD writable = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        if (writable == 0) {
            writable = FILE_ATTRIBUTE_NORMAL;
        }
        return ::SetFileAttributesW(EntryPath(path).c_str(), writable) != FALSE;
    }

    // A junction or a symbolic link to a directory is a directory reparse point, and
    // RemoveDirectoryW removes the reparse point itself, leaving its target alone; a symbolic link
    // to a file is removed by DeleteFileW. Wine 8 reports a Unix symbolic link to a file as a plain
    // file, without the reparse bit, and its DeleteFileW then deletes the target instead of the
    // link; that is a fault of Wine that no program can see from inside, so it is not worked
    // around here.
    bool RemoveLink(const std::string& path) override {
        const DWORD attributes = Attributes(path);
        if (attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            return false;
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return ::RemoveDirectoryW(EntryPath(path).c_str()) != FALSE;
        }
        return ::DeleteFileW(EntryPath(path).c_str()) != FALSE;
    }

    // The system refuses to open the executable of a running program for writing, whatever
    // sharing is asked for, with a sharing violation. Another program that merely holds the file
    // open without sharing writes, as a virus scanner reading it does, draws the same answer, so
    // a sharing violation is looked at more closely:
    // - A running program holds no handle on its executable (the system closes the one it starts
    //   the program with) and only maps it as its image. So when an open for reading that shares
    //   nothing succeeds, no handle is open, and the violation came from that mapping.
    // - When some handle is open, the process list tells whether a process runs the file: its
    //   module list names its executable's full path first.
    // - When that cannot be told (no process list, or a process of that file name whose module
    //   list cannot be read), the file counts as in use, which is the safe side.
    // A read-only file gives "access denied" to the open for writing, so a read-only file left by
    // an earlier run never counts as in use. Nothing is written, and each open is closed at once.
    bool FileInUse(const std::string& path) override {
        const DWORD attributes = Attributes(path);
        if (attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
            return false;
        }
        if (TryOpen(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE) !=
            ERROR_SHARING_VIOLATION) {
            return false;
        }
        return TryOpen(path, GENERIC_READ, 0) == ERROR_SUCCESS || SomeProcessRuns(Wide(path));
    }

    // --- Library image bounds ---

    // VirtualQuery names the allocation that holds the address, and a module's image is one
    // allocation of the kind MEM_IMAGE whose base is the module's handle. This finds the module
    // that really holds the address, which for an export that the library forwards is another
    // module than the one asked. The image's own header at the base says how large it is: the DOS
    // header leads to the NT headers, whose optional header holds SizeOfImage. Everything from the
    // base up to that size is mapped for the whole life of the module.
    std::size_t ImageBytesFrom(const void* address) override {
        MEMORY_BASIC_INFORMATION region;
        if (address == nullptr || ::VirtualQuery(address, &region, sizeof region) == 0 ||
            region.State != MEM_COMMIT || region.Type != MEM_IMAGE) {
            return 0;
        }
        const auto* base = static_cast<const unsigned char*>(region.AllocationBase);
        // The headers are read only where the first region of the image can be read.
        MEMORY_BASIC_INFORMATION first;
        if (::VirtualQuery(base, &first, sizeof first) == 0 || first.State != MEM_COMMIT ||
            (first.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0 ||
            first.RegionSize < sizeof(IMAGE_DOS_HEADER)) {
            return 0;
        }
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0 ||
            static_cast<std::size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS) > first.RegionSize) {
            return 0;
        }
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        if (nt->Signature != IMAGE_NT_SIGNATURE) {
            return 0;
        }
        const std::size_t imageSize = nt->OptionalHeader.SizeOfImage;
        const auto* at = static_cast<const unsigned char*>(address);
        if (at < base || static_cast<std::size_t>(at - base) >= imageSize) {
            return 0;
        }
        return imageSize - static_cast<std::size_t>(at - base);
    }

private:
    // Whether a virtual-key code names a modifier, which does not end the key wait when pressed
    // alone.
    static bool IsModifierKey(WORD code) {
        switch (code) {
        case VK_SHIFT:
        case VK_CONTROL:
        case VK_MENU:
        case VK_LSHIFT:
        case VK_RSHIFT:
        case VK_LCONTROL:
        case VK_RCONTROL:
        case VK_LMENU:
        case VK_RMENU:
        case VK_LWIN:
        case VK_RWIN:
        case VK_CAPITAL:
        case VK_NUMLOCK:
            return true;
        default:
            return false;
        }
    }

    // Opens an existing file with the given access and sharing and closes it again. Returns
    // ERROR_SUCCESS, or the error that the open failed with.
    static DWORD TryOpen(const std::string& path, DWORD access, DWORD share) {
        HANDLE file = ::CreateFileW(Wide(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return ::GetLastError();
        }
        ::CloseHandle(file);
        return ERROR_SUCCESS;
    }

    static DWORD Attributes(const std::string& path) {
        return ::GetFileAttributesW(EntryPath(path).c_str());
    }

    // The form of a path for the calls that read, list and remove entries: past MAX_PATH, which
    // Windows refuses in the plain form, the long-path form (see WideCallForm). Only the removal
    // of the execution directory's entries names paths that long, because the launcher refuses an
    // execution directory whose payload paths do not fit; what the utility made beneath it can be
    // deeper. The removal never lists or enters a link, so the long-path form follows none.
    static std::wstring EntryPath(const std::string& path) { return WideCallForm(Wide(path)); }

    // Whether a running process has path as its executable, from the system's process list. A
    // utility started through the short form of its path may be listed under that form, so both
    // forms are looked for. True also when that cannot be told. The list is read with the 8-bit
    // calls: Windows 2000 and XP hold these paths as 8-bit text, which is all that any form of the
    // calls can give there, and Windows 2000 documents only the 8-bit forms.
    static bool SomeProcessRuns(const std::wstring& path) {
        HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE) {
            return true;
        }
        std::vector<ProcessEntry> processes;
        PROCESSENTRY32 process;
        process.dwSize = sizeof process;
        const bool listRead = ::Process32First(snapshot, &process) != FALSE;
        for (bool more = listRead; more; more = ::Process32Next(snapshot, &process) != FALSE) {
            processes.push_back({process.th32ProcessID, process.szExeFile});
        }
        ::CloseHandle(snapshot);
        return ExecutableRuns(AnsiCodePage(), listRead, processes,
                              std::vector<std::wstring>{path, ShortForm(path)}, ExecutablePath);
    }

    // The full path of a process's executable, the first entry of its module list, as 8-bit
    // text. False when the list cannot be read.
    static bool ExecutablePath(unsigned long processId, std::string& path) {
        HANDLE modules = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
        if (modules == INVALID_HANDLE_VALUE) {
            return false;
        }
        MODULEENTRY32 module;
        module.dwSize = sizeof module;
        const bool read = ::Module32First(modules, &module) != FALSE;
        if (read) {
            path = module.szExePath;
        }
        ::CloseHandle(modules);
        return read;
    }

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
