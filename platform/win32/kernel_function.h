// A function of kernel32 looked up at run time rather than imported, for the functions that later
// systems brought: the launcher must still load on Windows 2000, which lacks them.
#pragma once

#include <windows.h>

namespace platform {

// The named export of kernel32 as a pointer of the given function type, or null when the running
// system does not have it.
template <typename Function> Function KernelFunction(const char* name) {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) {
        return nullptr;
    }
    // The detour through a pointer without a type tells the compiler that the cast between
    // function types is meant.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(kernel, name)));
}

} // namespace platform
