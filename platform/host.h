// The one seam between the launcher and the operating system: an abstract host with one virtual
// function per system service, the accessor that core code reaches it through, and the scoped guard
// that tests use to put a fake in its place.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// An opaque handle to something the host opened. Null means none.
using Handle = void*;

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
    // Reads one key from the console input device in raw mode and echoes it. Returns false at once,
    // leaving key alone, when no console is attached.
    virtual bool ConsoleReadKey(char& key) = 0;

    // --- Standard streams ---

    // Writes text to the process's standard output and flushes it.
    virtual void WriteStandardOutput(const std::string& text) = 0;
    // Writes text to the process's standard error and flushes it.
    virtual void WriteStandardError(const std::string& text) = 0;

    // --- Environment ---

    // Returns true and sets value when the variable is set (also to the empty text); returns false
    // and leaves value alone when it is not set.
    virtual bool GetEnvironment(const std::string& name, std::string& value) = 0;

    // --- Files ---

    // Opens a file for writing in binary mode, creating it or truncating it when it exists. Returns
    // null when it cannot be opened. The caller closes the handle with CloseFile.
    virtual Handle OpenFileForWriting(const std::string& path) = 0;
    // Writes size bytes with one write call. Returns the number of bytes written, which is less
    // than size when the write fell short.
    virtual std::size_t WriteFile(Handle file, const void* data, std::size_t size) = 0;
    // Closes a handle from OpenFileForWriting. Returns false when pending data could not be
    // written.
    virtual bool CloseFile(Handle file) = 0;

    // --- Memory ---

    // Allocates size bytes from the C allocator; the receiver releases them with std::free. Returns
    // null when the memory cannot be had.
    virtual void* Allocate(std::size_t size) = 0;
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
