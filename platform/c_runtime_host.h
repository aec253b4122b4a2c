// The part of the host that every platform shares: the standard streams, the environment and the
// allocator from the C runtime, and the declarations of the file writing. The file writing does not
// go through the C runtime's buffered streams, whose close may report success after its final flush
// failed; each platform defines it with its own system calls, in win32/win32_files.cpp and
// posix/posix_files.cpp. The platform hosts derive from this class.
#pragma once

#include <string>

#include "platform/host.h"

namespace platform {

class CRuntimeHost : public Host {
public:
    void WriteStandardOutput(const std::string& text) override;
    void WriteStandardError(const std::string& text) override;
    bool GetEnvironment(const std::string& name, std::string& value) override;
    void* Allocate(std::size_t size) override;

    // Defined per platform: each opens NativePath(path).
    Handle OpenFileForWriting(const std::string& path) override;
    std::size_t WriteFile(Handle file, const void* data, std::size_t size) override;
    bool CloseFile(Handle file) override;
    Handle OpenFileForAppending(const std::string& path) override;
    bool AppendText(Handle file, const std::string& text) override;
    AppendTurn TryAppendTurn(Handle file) override;
    void ReleaseAppendTurn(Handle file) override;
};

} // namespace platform
