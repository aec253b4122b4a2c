// What the system's 8-bit code page makes of a path, as pure functions over a code page given as a
// value, so that every decision that depends on it can be tested on any machine with any code page.
// They take no Windows header: the Windows host gives them the system's code page, the unit tests
// a model of one.
//
// A code page is any type with two members:
//   std::string Narrow(const String& text) const  - the 8-bit form, each character that the page
//       lacks given as its default character "?" (or as a look-alike, where the page maps one);
//   String Widen(const std::string& bytes) const  - the text that the 8-bit form stands for.
// In a double-byte code page (932, 936, 949, 950) a character can take two bytes, so the 8-bit
// form can be longer than the UTF-16 text.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The longest path that an 8-bit program's buffers hold, and that the system takes without the
// long-path prefix: MAX_PATH less the terminating NUL.
constexpr std::size_t kLongestPlainPath = 259;

// Windows 2000 and XP give a module's path in the process list as 8-bit text, cut at this many
// bytes.
constexpr std::size_t kReportedPathBytes = 255;

// The text as it comes back from its 8-bit form.
template <typename CodePage, typename String>
String RoundTrip(const CodePage& page, const String& text) {
    return page.Widen(page.Narrow(text));
}

// True when the code page holds the text: it comes back from its 8-bit form unchanged. The way
// back catches both a letter that became "?" and one that became a look-alike.
template <typename CodePage, typename String>
bool FitsCodePage(const CodePage& page, const String& text) {
    return RoundTrip(page, text) == text;
}

// The path as the process list of Windows 2000 and XP gives it: its 8-bit form, cut at
// kReportedPathBytes bytes, read back. A cut that splits a double-byte character leaves its first
// byte, which the code page reads back as it reads any incomplete character.
template <typename CodePage, typename String>
String ReportedPath(const CodePage& page, const String& path) {
    std::string bytes = page.Narrow(path);
    if (bytes.size() > kReportedPathBytes) {
        bytes.resize(kReportedPathBytes);
    }
    return page.Widen(bytes);
}

// True when an 8-bit program can use path: the code page holds it, and its 8-bit form fits the
// program's buffers.
template <typename CodePage, typename String>
bool UsableByEightBitProgram(const CodePage& page, const String& path) {
    const std::string bytes = page.Narrow(path);
    return bytes.size() <= kLongestPlainPath && page.Widen(bytes) == path;
}

// The form of an existing path to give an 8-bit program: the path itself where the program can
// use it, else its short (8.3) form where the program can use that. A short form can hold letters
// that the code page lacks (on a FAT volume it keeps the OEM code page's letters), and a volume
// without short names gives the long path back, so the short form is held to the same rule.
// Returns the empty text when neither form will do: the program would be given a path that leads
// nowhere, so it must not be started. shortForm(path) gives the short form, or the empty text.
template <typename CodePage, typename String, typename ShortForm>
String FormForEightBitProgram(const CodePage& page, const String& path, ShortForm shortForm) {
    if (UsableByEightBitProgram(page, path)) {
        return path;
    }
    const String shortPath = shortForm(path);
    if (!shortPath.empty() && UsableByEightBitProgram(page, shortPath)) {
        return shortPath;
    }
    return String();
}

} // namespace platform
