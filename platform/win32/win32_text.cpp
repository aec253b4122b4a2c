// The text helpers of the Windows host (see win32_text.h).
#include "platform/win32/win32_text.h"

#include <windows.h>

#include "platform/win32/code_page.h"
#include "platform/win32/path_forms.h"
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

std::string AnsiCodePage::Narrow(const std::wstring& text) const {
    if (text.empty()) {
        return std::string();
    }
    const int length = static_cast<int>(text.size());
    const int bytes =
        ::WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return std::string();
    }
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    const int got =
        ::WideCharToMultiByte(CP_ACP, 0, text.data(), length, &narrow[0], bytes, nullptr, nullptr);
    narrow.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return narrow;
}

std::wstring AnsiCodePage::Widen(const std::string& bytes) const {
    if (bytes.empty()) {
        return std::wstring();
    }
    const int length = static_cast<int>(bytes.size());
    const int units = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
    if (units <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    const int got = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, &wide[0], units);
    wide.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return wide;
}

std::wstring ShortForm(const std::wstring& path) {
    return ShortPathThrough(path, [](const wchar_t* longPath, wchar_t* buffer, std::size_t size) {
        return static_cast<std::size_t>(
            ::GetShortPathNameW(longPath, buffer, static_cast<DWORD>(size)));
    });
}

std::wstring ForEightBitProgram(const std::wstring& path) {
    return FormForEightBitProgram(AnsiCodePage(), path, ShortForm);
}

} // namespace platform
