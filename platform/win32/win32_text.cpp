// The text helpers of the Windows host (see win32_text.h).
#include "platform/win32/win32_text.h"

#include <windows.h>

#include "platform/win32/utf16.h"

namespace platform {

std::wstring Wide(const std::string& utf8) {
    std::wstring wide;
    return Utf8ToUtf16(utf8, wide) ? wide : std::wstring();
}

bool IsAscii(const std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

namespace {

// True when the system's 8-bit code page holds the text: converted to it and back, it comes out
// the same. The way back catches both a letter that becomes the default character "?" and one
// that the conversion replaces by a look-alike, such as "o" for "ő" in the Western code page.
bool FitsCodePage(const std::wstring& text) {
    if (text.empty()) {
        return true;
    }
    const int length = static_cast<int>(text.size());
    const int bytes =
        ::WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return false;
    }
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    if (::WideCharToMultiByte(CP_ACP, 0, text.data(), length, &narrow[0], bytes, nullptr,
                              nullptr) != bytes) {
        return false;
    }
    const int units = ::MultiByteToWideChar(CP_ACP, 0, narrow.data(), bytes, nullptr, 0);
    if (units != length) {
        return false;
    }
    std::wstring back(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, narrow.data(), bytes, &back[0], units);
    return back == text;
}

} // namespace

std::wstring ShortForm(const std::wstring& path) {
    const DWORD needed = ::GetShortPathNameW(path.c_str(), nullptr, 0);
    if (needed == 0) {
        return std::wstring();
    }
    std::wstring shortPath(needed, L'\0');
    const DWORD got = ::GetShortPathNameW(path.c_str(), &shortPath[0], needed);
    if (got == 0 || got >= needed) {
        return std::wstring();
    }
    shortPath.resize(got);
    return shortPath;
}

std::wstring ForEightBitProgram(const std::wstring& path) {
    if (FitsCodePage(path)) {
        return path;
    }
    const std::wstring shortPath = ShortForm(path);
    return shortPath.empty() ? path : shortPath;
}

} // namespace platform
