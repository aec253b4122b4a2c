// The one seam between the launcher and the operating system: an abstract host with one virtual
// function per system service, the accessor that core code reaches it through, and the scoped guard
// that tests use to put a fake in its place.
//
// Every path and name crosses the seam as UTF-8 text in Windows form. The Windows host hands it to
// the wide (UTF-16) Windows calls, so that a user's folder named in any script reaches the file
// system whole, whatever the system's 8-bit code page can hold.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// An opaque handle to something the host opened. Null means none.
using Handle = void*;

// What a path names, seen without following a link.
enum class PathKind { Missing, File, Directory, Link };

// How a process is started. The strings are the values given to the system as they stand.
struct StartParameters {
    std::string applicationName;
    // Copied into a writable buffer, which is what the system is given, even when it is empty.
    std::string commandLine;
    bool inheritHandles = false;
    unsigned creationFlags = 0;
    std::string currentDirectory;
    // The startup information: its flags and show-window fields; every other field is zero.
    unsigned startupFlags = 0;
    unsigned short showWindow = 0;
};

// A registry value as the system gave it: whether the read worked, the bytes that it put into the
// buffer (never more than the buffer holds), and the size that it reported, which may be larger.
struct RegistryValue {
    bool read = false;
    std::string bytes;
    unsigned reportedSize = 0;
};

// The fields of the system's extended version record that the launcher reads.
struct VersionInfo {
    unsigned majorVersion = 0;
    unsigned minorVersion = 0;
    unsigned buildNumber = 0;
    unsigned platformId = 0;
    unsigned short servicePackMajor = 0;
    unsigned short servicePackMinor = 0;
    unsigned short suiteMask = 0;
    unsigned char productType = 0;
};

// A date and time as the system's calendar gives them, field by field in the order of the system's
// own record. No count of seconds since an epoch stands between the clock and these fields, so a
// date past 2038 comes through whole also where such a count has 32 bits.
struct SystemTime {
    unsigned short year = 0;      // in full, such as 2039
    unsigned short month = 0;     // 1 (January) to 12
    unsigned short dayOfWeek = 0; // 0 (Sunday) to 6
    unsigned short day = 0;       // 1 to 31
    unsigned short hour = 0;
    unsigned short minute = 0;
    unsigned short second = 0;
    unsigned short milliseconds = 0;
};

// How a try to take the turn to append to a shared file went (see TryAppendTurn).
enum class AppendTurn { Taken, Busy, NoTurn };

class Host {
public:
    virtual ~Host() = default;

    // --- Console (the console modes only) ---

    // Allocates a console for the process. Returns false when none could be allocated, for example
    // because one is already attached; the console functions below then use whatever is attached.
    virtual bool AllocConsole() = 0;
    // Detaches from the console. Does nothing when none is attached.
    virtual void FreeConsole() = 0;
    // Writes text as it stands to the console output device, opening it on first use. The text is
    // dropped when no console is attached.
    virtual void ConsoleWrite(const std::string& text) = 0;
    // Waits for one key press on the console input device in raw mode. Any key ends the wait
    // except a modifier pressed alone (Shift, Ctrl, Alt, the Windows keys, Caps Lock, Num Lock).
    // Returns true with key set to the key's character, which is echoed (natively not an Escape,
    // which a terminal would take as the start of a control sequence); a key that gives no
    // character (an arrow, a function key) sets key to '\0' and echoes nothing. Returns false at
    // once, leaving key alone, when no console is attached or nothing can be read.
    virtual bool ConsoleReadKey(char& key) = 0;

    // --- Standard streams ---

    // Writes text to the process's standard output and flushes it.
    virtual void WriteStandardOutput(const std::string& text) = 0;
    // Writes text to the process's standard error and flushes it.
    virtual void WriteStandardError(const std::string& text) = 0;

    // --- Environment ---

    // Returns true and sets value when the variable is set (also to the empty text); returns false
    // and leaves value alone when it is not set, or when its value is no valid text (on Windows,
    // UTF-16 with a surrogate out of its pair), which names no path that could be used.
    virtual bool GetEnvironment(const std::string& name, std::string& value) = 0;

    // --- Files ---

    // Opens a file for writing in binary mode with the system's own file calls, creating it or
    // truncating it when it exists. Returns null when it cannot be opened. The caller closes the
    // handle with CloseFile.
    virtual Handle OpenFileForWriting(const std::string& path) = 0;
    // Writes size bytes with one write call to the system, nothing buffered in between. Returns the
    // number of bytes written, which is less than size when the write fell short or failed (a full
    // disk, for example).
    virtual std::size_t WriteFile(Handle file, const void* data, std::size_t size) = 0;
    // Closes a handle from OpenFileForWriting or OpenFileForAppending. Returns false when the
    // system reports that the close failed; the handle is gone either way.
    virtual bool CloseFile(Handle file) = 0;

    // --- Windows directory, paths and clock ---

    // Copies the Windows directory with its terminating NUL into buffer, which holds size bytes,
    // and returns its length. When the buffer is too small it returns the size needed (NUL
    // included) and the buffer's contents are undefined; it returns 0 when the directory cannot be
    // had.
    virtual unsigned WindowsDirectory(char* buffer, unsigned size) = 0;
    // The form of a path in Windows form that this platform's file calls take.
    virtual std::string NativePath(const std::string& path) = 0;
    // The current local time, read from the system's calendar.
    virtual SystemTime LocalTime() = 0;

    // --- Named mutex ---

    // Opens an existing mutex of that name with full access. Returns null when there is none.
    virtual Handle OpenNamedMutex(const std::string& name) = 0;
    // Creates the mutex, owned by the caller. When one of that name exists already, returns a
    // handle to it (not owned) and sets alreadyExisted. Returns null when creation fails.
    virtual Handle CreateNamedMutex(const std::string& name, bool& alreadyExisted) = 0;
    // Closes a mutex, process or thread handle.
    virtual void CloseSystemHandle(Handle handle) = 0;

    // --- Directories and files ---

    // What the path names. A symbolic link or junction is reported as Link and never followed.
    virtual PathKind GetPathKind(const std::string& path) = 0;
    // Starts a listing with a pattern of the form DIR\*. Returns null when nothing can be listed;
    // otherwise sets name to the first entry ("." and ".." included). End it with FindEnd.
    virtual Handle FindFirst(const std::string& pattern, std::string& name) = 0;
    // Sets name to the next entry; false when there is none.
    virtual bool FindNext(Handle find, std::string& name) = 0;
    virtual void FindEnd(Handle find) = 0;
    // Deletes a plain file (a link itself, never its target). Fails on a directory or a locked
    // file.
    virtual bool DeletePlainFile(const std::string& path) = 0;
    // Removes an empty directory.
    virtual bool RemoveEmptyDirectory(const std::string& path) = 0;
    // Creates one directory level for the running user alone (besides the system and the
    // administrators), taking no permission from its parent. Fails when the path exists already.
    virtual bool MakeDirectory(const std::string& path) = 0;
    // Waits the given time. Tests count these rather than wait.
    virtual void Pause(unsigned milliseconds) = 0;

    // --- Processes ---

    // Starts a process. On success sets the process and thread handles, which the caller closes.
    virtual bool StartProcess(const StartParameters& parameters, Handle& process,
                              Handle& thread) = 0;
    // Waits, without a time limit, until the process ends.
    virtual void WaitForProcess(Handle process) = 0;
    // Writes text to the debugger output.
    virtual void DebugOutput(const std::string& text) = 0;

    // --- User interface ---

    // Shows a message box with no owner window and returns the button pressed (or -1).
    virtual int ShowMessageBox(const std::string& text, const std::string& caption,
                               unsigned style) = 0;

    // --- System facts ---

    // Fills the version record. Returns false, leaving it zero, when the system does not answer.
    virtual bool QueryVersion(VersionInfo& version) = 0;
    // Looks up GetNativeSystemInfo in kernel32.dll at run time. Returns false when the system has
    // no such function; otherwise calls it and sets the native processor architecture.
    virtual bool NativeProcessorArchitecture(unsigned short& architecture) = 0;
    // A system metric by its index; 0 when the system does not know it.
    virtual int SystemMetric(int index) = 0;
    // Opens key under HKEY_LOCAL_MACHINE for querying, reads the named value into a buffer of
    // bufferSize bytes without asking for its type, and closes the key.
    virtual RegistryValue ReadMachineRegistryValue(const std::string& key, const std::string& name,
                                                   unsigned bufferSize) = 0;

    // --- Libraries ---

    // Makes the library search safe before anything can load a library: from then on no library
    // that the system loads by bare name is taken from the program's own folder or its current
    // folder, where someone else may have saved one under a system library's name. The entry calls
    // it first. Does nothing where the platform's search needs no such care.
    virtual void SecureLibrarySearch() = 0;
    // Loads a library by bare file name: from the program's own folder first, then through the
    // platform's ordinary search as SecureLibrarySearch left it. Returns null when it does not
    // load. Libraries are never unloaded.
    virtual Handle LoadLibraryByName(const std::string& name) = 0;
    // The address of an exported symbol, or null when the library has none of that name.
    virtual const void* FindExport(Handle library, const std::string& name) = 0;

    // --- Library image bounds ---

    // The number of bytes that can be read from address up to the end of the loaded image that
    // holds it, whichever module that is (an export that the library forwards lies in another
    // module): on Windows up to the end of the image that the module's header describes, natively
    // up to the end of the loaded segment that holds the address. Returns 0 when the address lies
    // in no loaded image. Nothing beyond this many bytes may be read through the address.
    virtual std::size_t ImageBytesFrom(const void* address) = 0;

    // --- Memory ---

    // Allocates size bytes from the C allocator; the receiver releases them with std::free. Returns
    // null when the memory cannot be had.
    virtual void* Allocate(std::size_t size) = 0;

    // --- Safety of the execution directory ---

    // True when path names one place whatever the current directory and drive are: on Windows a
    // drive letter with a backslash ("C:\...") or a UNC path ("\\server\share..."), on POSIX a
    // path that starts with "/". False for the empty text and for every relative form.
    virtual bool IsAbsolutePath(const std::string& path) = 0;
    // The length of a path as this platform's limit on path lengths counts it: on Windows in UTF-16
    // code units, one for each character up to U+FFFF (which UTF-8 spells in up to three bytes)
    // and two for each one beyond; natively in bytes.
    virtual std::size_t PathLength(const std::string& path) = 0;
    // Gives an existing file or directory what its owner needs to delete it or, for a directory,
    // to list, empty and remove it. A link is never changed and never followed: the call then
    // returns false, as it does when path is missing or the change is refused. Returns true when
    // nothing stands in the way any more (also when nothing had to change).
    virtual bool MakeWritable(const std::string& path) = 0;
    // Removes a symbolic link or junction itself, never what it points at. Returns false when path
    // is not a link, or when the link stays (some systems cannot remove every kind of link).
    virtual bool RemoveLink(const std::string& path) = 0;
    // True when path is a plain file (not a link or a directory) that a running program uses as
    // its executable, so that deleting it now would pull it from under that program. False when it
    // is missing, is no plain file, or is not known to be in use.
    virtual bool FileInUse(const std::string& path) = 0;

    // --- Appending to a shared file (the run log) ---

    // Opens a file to append to, with the system's own file calls: it is created when missing and
    // never truncated, and other processes may read it and append to it at the same time. A file
    // that it creates can be read and appended to by every user; one that exists keeps its
    // permissions. A link is never followed, and only a plain file with one name is opened (see
    // IsAppendableRunLog). Returns null when it cannot be opened or is no such file. The caller
    // closes the handle with CloseFile.
    virtual Handle OpenFileForAppending(const std::string& path) = 0;
    // Appends text at the end of the file in one write, so that lines of concurrent writers never
    // overlap or overwrite each other as long as each writer holds the append turn around its
    // write where the platform offers one. Each line feed in text is written as this platform's
    // text line end (CR LF on Windows, LF elsewhere). Returns false when not all of it was
    // written.
    virtual bool AppendText(Handle file, const std::string& text) = 0;
    // Tries, without waiting, to take the turn to append to a file from OpenFileForAppending: a
    // lock that every appender of the file holds around its append, where the system does not
    // keep concurrent appends apart by itself. Returns Taken when this process now holds it (give
    // it back with ReleaseAppendTurn), Busy when another holds it at this moment, and NoTurn when
    // there is none to take: the platform needs none, or the file or its file system offers none.
    virtual AppendTurn TryAppendTurn(Handle file) = 0;
    // Gives back a turn that TryAppendTurn took.
    virtual void ReleaseAppendTurn(Handle file) = 0;
};

// The host that core code talks to: the installed test host when there is one, else the system's.
Host& host();

// The real host of the platform the program was built for.
Host& SystemHost();

// Installs a host for the lifetime of the guard and restores the previous one afterwards.
class ScopedHost {
public:
    explicit ScopedHost(Host& replacement);
    ~ScopedHost();
    ScopedHost(const ScopedHost&) = delete;
    ScopedHost& operator=(const ScopedHost&) = delete;

private:
    Host* previous_;
};

} // namespace platform
