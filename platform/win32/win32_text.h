// The text helpers of the Windows host: the wide form of a path given as UTF-8, and the form of a
// path that an 8-bit program can use.
#pragma once

#include <string>

namespace platform {

// The UTF-16 form of UTF-8 text. Text that is not UTF-8 becomes the empty text, which names no
// file, so that every call given it fails rather than reach another file.
std::wstring Wide(const std::string& utf8);

// True when the text holds no byte beyond ASCII.
bool IsAscii(const std::string& text);

// The form of an existing path that an 8-bit program can use: the path itself when the system's
// 8-bit code page holds it unchanged, else its short (8.3) form, else, where the volume keeps no
// short names, the path itself all the same.
std::wstring ForEightBitProgram(const std::wstring& path);

// The short (8.3) form of an existing path, or the empty text when the system gives none.
std::wstring ShortForm(const std::wstring& path);

} // namespace platform
