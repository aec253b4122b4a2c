// The conversions between the seam's UTF-8 and the UTF-16 of the wide Windows calls, checked
// against encodings worked out by hand from the Unicode standard's tables.
#include "platform/win32/utf16.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
    const char* what;
    std::string utf8;
    std::u16string utf16;
    bool wellFormed;
};

// Text that converts both ways, lone surrogates included (their three-byte forms).
const Case kBothWays[] = {
    {"empty", "", u"", true},
    {"ASCII with a backslash", "C:\\users", u"C:\\users", true},
    {"Latin-1 letter", "J\xC3\xBCrgen", u"J\u00FCrgen", true},
    {"Hungarian letter outside Latin-1", "\xC5\x91", u"\u0151", true},
    {"Greek", "\xCE\x95\xCE\xBB\xCE\xAD\xCE\xBD\xCE\xB7", u"\u0395\u03BB\u03AD\u03BD\u03B7", true},
    {"Chinese", "\xE4\xB8\xAD", u"\u4E2D", true},
    {"last of the Basic Multilingual Plane", "\xEF\xBF\xBF", u"\uFFFF", true},
    {"mathematical script A, a surrogate pair", "\xF0\x9D\x92\x9C", {0xD835, 0xDC9C}, true},
    {"last code point", "\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}, true},
    {"lone lead surrogate", "\xED\xA0\x80", {0xD800}, false},
    {"lone trail surrogate before a letter",
     "\xED\xB0\x80"
     "A",
     {0xDC00, u'A'},
     false},
    {"lead surrogate at the end", "A\xED\xA0\xBD", {u'A', 0xD83D}, false},
    {"pair in the wrong order", "\xED\xB2\x9C\xED\xA0\xB5", {0xDC9C, 0xD835}, false},
};

TEST(Utf16, ConvertsBothWaysAndTellsWellFormedText) {
    for (const Case& c : kBothWays) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(platform::Utf16ToUtf8(c.utf16), c.utf8);
        std::u16string back;
        EXPECT_TRUE(platform::Utf8ToUtf16(c.utf8, back));
        EXPECT_EQ(back, c.utf16);
        EXPECT_EQ(platform::IsWellFormedUtf16(c.utf16), c.wellFormed);
    }
}

TEST(Utf16, RefusesBytesThatAreNoUtf8) {
    const std::string kRefused[] = {
        "\x80",                     // a continuation byte alone
        "A\xBF",                    // a continuation byte after a letter
        "\xC0\xAF",                 // "/" spelt in two bytes
        "\xE0\x80\xAF",             // "/" spelt in three bytes
        "\xF0\x80\x80\xAF",         // "/" spelt in four bytes
        "\xF4\x90\x80\x80",         // past U+10FFFF
        "\xF8\x88\x80\x80\x80",     // a five-byte form
        "\xFF",                     // never in UTF-8
        "\xC3",                     // cut short at the end
        "\xE4\xB8",                 // cut short at the end
        "\xC3(",                    // a letter where a continuation byte belongs
        "\xED\xA0\xB5\xED\xB2\x9C", // a pair spelt as two surrogates instead of four bytes
    };
    for (const std::string& bytes : kRefused) {
        std::u16string out;
        EXPECT_FALSE(platform::Utf8ToUtf16(bytes, out)) << ::testing::PrintToString(bytes);
    }
}

} // namespace
