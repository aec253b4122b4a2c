// The C runtime's services of the host: standard streams, environment and allocator.
#include "platform/c_runtime_host.h"

#include <cstdio>
#include <cstdlib>

namespace platform {

void CRuntimeHost::WriteStandardOutput(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void CRuntimeHost::WriteStandardError(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

bool CRuntimeHost::GetEnvironment(const std::string& name, std::string& value) {
    const char* found = std::getenv(name.c_str());
    if (found == nullptr) {
        return false;
    }
    value = found;
    return true;
}

void* CRuntimeHost::Allocate(std::size_t size) {
    return std::malloc(size);
}

} // namespace platform
