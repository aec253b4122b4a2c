// The other forms of a path that the Windows host gives the system, as pure functions: the short
// (8.3) form, read through a call that behaves as GetShortPathNameW, and the long-path ("\\?\")
// form that the wide file calls take past MAX_PATH. They take no Windows header: the Windows host
// instantiates them for std::wstring, the unit tests for std::u16string with a model of the calls.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/win32/code_page.h"

namespace platform {

// MAX_PATH: the size of the buffer that the first short-path call gets, NUL included, plus one.
constexpr std::size_t kMaxPath = 260;

// The short form of path through call(path, buffer, size), which behaves as GetShortPathNameW:
// it returns the short form's length without its NUL, or, when the buffer of size units is too
// small, the size that it needs with the NUL, or 0 when it fails. The first call gets a buffer of
// MAX_PATH + 1 units, because a call with a null buffer to ask for the size is not described for
// Windows 2000; a larger buffer follows only when a call asks for one. Names can change between
// two calls, so a few are tried. Returns the empty text when no short form can be had.
template <typename String, typename Call> String ShortPathThrough(const String& path, Call call) {
    String buffer(kMaxPath + 1, 0);
    for (int attempt = 0; attempt < 4; ++attempt) {
        const std::size_t got = call(path.c_str(), &buffer[0], buffer.size());
        if (got == 0) {
            return String();
        }
        if (got < buffer.size()) {
            buffer.resize(got);
            return buffer;
        }
        buffer.assign(got, 0);
    }
    return String();
}

namespace path_forms {

template <typename Unit> bool IsSeparator(Unit unit) {
    return unit == '\\' || unit == '/';
}

template <typename String> String Text(const char* ascii) {
    String text;
    for (; *ascii != '\0'; ++ascii) {
        text += static_cast<typename String::value_type>(*ascii);
    }
    return text;
}

} // namespace path_forms

// The form of a path to give the wide file calls. Up to kLongestPlainPath units the path goes as
// it stands, as every Windows version takes it. A longer absolute path, which Windows refuses in
// its plain form ("C:\..." or "\\server\share\..."), goes in its long-path form ("\\?\C:\..." or
// "\\?\UNC\server\share\..."), which the wide calls take up to 32,767 units. The system reads a
// long-path form as it stands, without the clean-up that it gives a plain path, so that clean-up
// is done here: "/" separates parts as "\" does, empty and "." parts are dropped, and ".." drops
// the part before it, never the drive or the server and share. Every part is otherwise kept as it
// is, so a name that a listing gave (even one that ends in a dot or a space) names that entry.
// Any other text, a relative path or one already in a special form, stays as it is.
template <typename String> String WideCallForm(const String& path) {
    using path_forms::IsSeparator;
    if (path.size() <= kLongestPlainPath) {
        return path;
    }
    String form;
    std::size_t at = 0;
    std::size_t fixedParts = 0;
    const auto letter = path[0];
    if (((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) && path[1] == ':' &&
        IsSeparator(path[2])) {
        form = path_forms::Text<String>("\\\\?\\") + path.substr(0, 2);
        at = 3;
    } else if (IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]) &&
               !((path[2] == '?' || path[2] == '.') && IsSeparator(path[3]))) {
        form = path_forms::Text<String>("\\\\?\\UNC");
        at = 2;
        fixedParts = 2;
    } else {
        return path;
    }
    std::vector<String> parts;
    while (at <= path.size()) {
        std::size_t end = at;
        while (end < path.size() && !IsSeparator(path[end])) {
            ++end;
        }
        const String part = path.substr(at, end - at);
        if (part == path_forms::Text<String>("..")) {
            if (parts.size() > fixedParts) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != path_forms::Text<String>(".")) {
            parts.push_back(part);
        }
        at = end + 1;
    }
    if (parts.size() < fixedParts) {
        return path;
    }
    for (const String& part : parts) {
        form += static_cast<typename String::value_type>('\\');
        form += part;
    }
    return form;
}

} // namespace platform
