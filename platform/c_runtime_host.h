// The part of the host that is the C runtime's on every platform: the standard streams, the
// environment, file writing and the allocator. The platform hosts derive from it.
#pragma once

#include <string>

#include "platform/host.h"

namespace platform {

class CRuntimeHost : public Host {
public:
    void WriteStandardOutput(const std::string& text) override;
    void WriteStandardError(const std::string& text) override;
    bool GetEnvironment(const std::string& name, std::string& value) override;
    // Opens NativePath(path) with the mode "wb".
    Handle OpenFileForWriting(const std::string& path) override;
    std::size_t WriteFile(Handle file, const void* data, std::size_t size) override;
    bool CloseFile(Handle file) override;
    void* Allocate(std::size_t size) override;
};

} // namespace platform
