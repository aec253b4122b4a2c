// The abstract Launch object: the execution-directory path, the two progress flags, and the steps
// of a launch as virtual operations in their fixed slot order.
#pragma once

#include <cstddef>
#include <new>
#include <string>

class Launch {
public:
    Launch();
    virtual ~Launch();

    // Rebuilds the embedded files and writes them to disk: into the current directory, listing each
    // name on the console, when dumpMode is true; into the execution directory otherwise. A file
    // that cannot be rebuilt or written whole is reported on standard error and never left on disk
    // in part. Outside dump mode, all files are written whole or none is kept: returns false when
    // the execution directory has not been created or any file failed (and then deletes the files
    // it wrote). In dump mode the result is true and the files written whole stay.
    virtual bool ExtractBinaries(bool dumpMode);
    virtual bool CreateExecutionDirectory() = 0;
    virtual bool RemoveExecutionDirectory() = 0;
    virtual bool CheckSystem() = 0;
    virtual bool StartTool() = 0;

    // Launch objects are made with new (std::nothrow), from the C allocator through the host, so
    // that a failed creation is a null pointer and tests can make it fail.
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* memory) noexcept;
    static void operator delete(void* memory, const std::nothrow_t&) noexcept;

    Launch(const Launch&) = delete;
    Launch& operator=(const Launch&) = delete;

    // Whether the entry reports a failed system check on standard output. Always true.
    bool reportFailures;
    // The execution directory's path without a trailing separator; empty until it is composed.
    std::string executionDirectory;
    // True once the execution directory has been created; never set back.
    bool directoryCreated;
    // True once ExtractBinaries has succeeded (in dump mode, once it ran); set back by the
    // destructor.
    bool binariesExtracted;
};
