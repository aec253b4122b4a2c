// Securing the library search at start-up, and loading a library from the launcher's own folder.
// SetDefaultDllDirectories came with an update to Vista and 7 and SetDllDirectoryW with XP's first
// service pack, so both are looked up at run time: the launcher must still load on Windows 2000.
#include "platform/win32/win32_library_search.h"

#include <string>

#include "platform/win32/kernel_function.h"
#include "platform/win32/win32_text.h"

namespace platform {
namespace {

// The flags of the restricted search, as the system's headers for newer systems define them.
constexpr DWORD kSearchDllLoadDirectory = 0x00000100;
constexpr DWORD kSearchSystem32 = 0x00000800;

// Whether the search is restricted to the system folder, so that LoadLibraryExW takes the search
// flags; systems without SetDefaultDllDirectories refuse them.
bool searchRestricted = false;

// The libraries that Windows loads by bare name into a windowed program after it has started: the
// themes and the desktop composition behind a message box, the application compatibility checks
// behind starting a program, the user profile, device setup, property and accessibility libraries
// that the shell's parts pull in, the COM class catalogue, the base cryptography and the version
// reader. A name that the system does not have fails to load and costs nothing.
const wchar_t* const kLoadedLater[] = {
    L"uxtheme.dll", L"dwmapi.dll",    L"userenv.dll", L"setupapi.dll", L"apphelp.dll",
    L"propsys.dll", L"cryptbase.dll", L"oleacc.dll",  L"clbcatq.dll",  L"version.dll",
};

// The folder that a module's file lies in, from the system's wide calls, grown until the whole
// path fits; empty when it cannot be had.
std::wstring FolderOf(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::wstring();
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::wstring::size_type slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH + 1];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH + 1);
    return length == 0 || length > MAX_PATH ? std::wstring() : std::wstring(folder, length);
}

} // namespace

void SecureLibrarySearch() {
    using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
    using SetDirectory = BOOL(WINAPI*)(LPCWSTR);
    if (auto restrict = KernelFunction<SetDefaultDirectories>("SetDefaultDllDirectories")) {
        searchRestricted = restrict(kSearchSystem32) != FALSE;
    }
    if (!searchRestricted) {
        const std::wstring system = SystemFolder();
        for (const wchar_t* name : kLoadedLater) {
            if (!system.empty()) {
                ::LoadLibraryW((system + L"\\" + name).c_str());
            }
        }
    }
    // The empty text takes the current folder out of the search.
    if (auto setDirectory = KernelFunction<SetDirectory>("SetDllDirectoryW")) {
        setDirectory(L"");
    }
}

// A library loaded by full path has its own imports searched in its folder first, so that a probe
// library may bring libraries of its own, and then in the system folder; without the restricted
// search the system's altered search order does the same, with the rest of its search after it.
HMODULE LoadBesideProgram(const std::string& name) {
    const std::wstring folder = FolderOf(nullptr);
    const std::wstring wideName = Wide(name);
    if (!folder.empty() && !wideName.empty()) {
        const DWORD flags = searchRestricted ? kSearchDllLoadDirectory | kSearchSystem32
                                             : LOAD_WITH_ALTERED_SEARCH_PATH;
        if (HMODULE beside =
                ::LoadLibraryExW((folder + L"\\" + wideName).c_str(), nullptr, flags)) {
            return beside;
        }
    }
    return ::LoadLibraryA(name.c_str());
}

} // namespace platform
