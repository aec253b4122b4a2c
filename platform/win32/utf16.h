// The conversions between the UTF-8 text that crosses the platform seam and the UTF-16 text of the
// wide Windows calls, as pure functions over code units, so that they behave the same on every
// Windows version and can be tested on any machine. They take no Windows header: the Windows host
// instantiates them for wchar_t, the unit tests for char16_t.
//
// Windows file names are sequences of 16-bit units that need not be well-formed UTF-16: a name
// may hold a surrogate without its partner. Such a unit becomes the three-byte form that UTF-8
// would give its code point (the generalized form some call WTF-8), so that every name that a
// listing gives can be named again and deleted. Only text that comes from the outside as a value,
// an environment variable, is held to well-formed UTF-16 (IsWellFormedUtf16).
//
// The system's own converters are not used: MultiByteToWideChar refuses malformed UTF-8 only from
// Windows XP on, and WideCharToMultiByte turns a lone surrogate into a replacement character
// without a word before Vista, so a path could silently name another file.
#pragma once

#include <cstddef>
#include <string>

namespace platform {
namespace utf16 {

constexpr char32_t kLeadFirst = 0xD800;
constexpr char32_t kTrailFirst = 0xDC00;
constexpr char32_t kTrailLast = 0xDFFF;

inline bool IsLead(char32_t unit) {
    return unit >= kLeadFirst && unit < kTrailFirst;
}
inline bool IsTrail(char32_t unit) {
    return unit >= kTrailFirst && unit <= kTrailLast;
}

} // namespace utf16

// True when every surrogate in the text stands in a pair, a lead unit followed by a trail unit.
template <typename Unit> bool IsWellFormedUtf16(const std::basic_string<Unit>& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t unit = static_cast<char16_t>(text[i]);
        if (utf16::IsLead(unit) && i + 1 < text.size() &&
            utf16::IsTrail(static_cast<char16_t>(text[i + 1]))) {
            ++i;
        } else if (utf16::IsLead(unit) || utf16::IsTrail(unit)) {
            return false;
        }
    }
    return true;
}

// The UTF-8 form of UTF-16 text. Never fails: a lone surrogate is kept in its three-byte form.
template <typename Unit> std::string Utf16ToUtf8(const std::basic_string<Unit>& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = static_cast<char16_t>(text[i]);
        if (utf16::IsLead(code) && i + 1 < text.size() &&
            utf16::IsTrail(static_cast<char16_t>(text[i + 1]))) {
            const char32_t trail = static_cast<char16_t>(text[++i]);
            code = 0x10000 + ((code - utf16::kLeadFirst) << 10) + (trail - utf16::kTrailFirst);
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

// Converts UTF-8 text, as Utf16ToUtf8 gives it, to UTF-16. Returns false, with out undefined, for
// bytes that are no such text: a stray or missing continuation byte, an over-long form, a code
// point past U+10FFFF, or a lead surrogate's three-byte form followed by a trail's, which two
// units of one pair never take (they are one four-byte character).
template <typename Unit> bool Utf8ToUtf16(const std::string& text, std::basic_string<Unit>& out) {
    out.clear();
    out.reserve(text.size());
    bool lastWasLead = false;
    for (std::size_t i = 0; i < text.size();) {
        const auto first = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t code = 0;
        char32_t least = 0;
        if (first < 0x80) {
            length = 1;
            code = first;
        } else if (first >= 0xC2 && first < 0xE0) {
            length = 2;
            code = first & 0x1F;
            least = 0x80;
        } else if (first >= 0xE0 && first < 0xF0) {
            length = 3;
            code = first & 0x0F;
            least = 0x800;
        } else if (first >= 0xF0 && first < 0xF5) {
            length = 4;
            code = first & 0x07;
            least = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i < length) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        if (code < least || code > 0x10FFFF) {
            return false;
        }
        if (utf16::IsTrail(code) && lastWasLead) {
            return false;
        }
        lastWasLead = utf16::IsLead(code);
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<Unit>(utf16::kLeadFirst + (code >> 10));
            out += static_cast<Unit>(utf16::kTrailFirst + (code & 0x3FF));
        } else {
            out += static_cast<Unit>(code);
        }
        i += length;
    }
    return true;
}

// The length of a path as the Windows calls limit it: in UTF-16 units, one for each character up
// to U+FFFF and two for each one beyond. Text that is not UTF-8 counts in bytes, which are never
// fewer than its units.
inline std::size_t WindowsPathLength(const std::string& path) {
    std::u16string units;
    return Utf8ToUtf16(path, units) ? units.size() : path.size();
}

} // namespace platform
