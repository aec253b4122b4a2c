// The text helpers of the Windows host: the wide form of a path given as UTF-8, the system's code
// page, and the form of a path that an 8-bit program can use.
#pragma once

#include <string>

namespace platform {

// The UTF-16 form of UTF-8 text. Text that is not UTF-8 becomes the empty text, which names no
// file, so that every call given it fails rather than reach another file.
std::wstring Wide(const std::string& utf8);

// True when the text holds no byte beyond ASCII.
bool IsAscii(const std::string& text);

// The system's 8-bit code page (the ANSI code page, CP_ACP), in the form that the decisions of
// code_page.h take.
struct AnsiCodePage {
    // The 8-bit form; a character that the page lacks becomes its default character, or a
    // look-alike where the page maps one.
    std::string Narrow(const std::wstring& text) const;
    std::wstring Widen(const std::string& bytes) const;
};

// The form of an existing path to give an 8-bit program (see FormForEightBitProgram): the path
// itself, or its short (8.3) form, or the empty text when the program can use neither.
std::wstring ForEightBitProgram(const std::wstring& path);

// The short (8.3) form of an existing path, or the empty text when the system gives none. Where
// the volume keeps no short names, the system gives the path itself.
std::wstring ShortForm(const std::wstring& path);

} // namespace platform
