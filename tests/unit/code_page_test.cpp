// What the 8-bit code page makes of a path, over models of a Western and a double-byte code page:
// the round trip, the path as the process list gives it, and the form of a path that the 8-bit
// utility is given, or none.
#include "platform/win32/code_page.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/fake_windows.h"

namespace {

using testing_support::DoubleByteCodePage;
using testing_support::FakeShortNames;
using testing_support::WesternCodePage;

const std::u16string kGreek = u"\u0395\u03bb\u03ad\u03bd\u03b7";
// 90 ideographs: 90 UTF-16 units but 180 bytes in a double-byte code page.
const std::u16string kIdeographs(90, u'\u4E2D');
const std::u16string kLongLatin(300, u'j');

struct RoundTripCase {
    const char* what;
    std::u16string text;
    bool fits;
    std::u16string reported; // as the process list gives it
};

TEST(CodePage, RoundTripAndTheListedPathCutAt255Bytes) {
    const RoundTripCase western[] = {
        {"ASCII", u"C:\\users\\Ann", true, u"C:\\users\\Ann"},
        {"a Latin-1 letter", u"J\u00fcrgen", true, u"J\u00fcrgen"},
        {"Greek", kGreek, false, u"?????"},
        {"a letter given as its look-alike", u"Sz\u0151ke", false, u"Szoke"},
        {"a pair of surrogates", u"A\U0001D49C", false, u"A?"},
        {"300 letters, cut", kLongLatin, true, kLongLatin.substr(0, 255)},
    };
    for (const RoundTripCase& c : western) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(platform::FitsCodePage(WesternCodePage(), c.text), c.fits);
        EXPECT_EQ(platform::ReportedPath(WesternCodePage(), c.text), c.reported);
    }
    const RoundTripCase doubleByte[] = {
        {"ideographs", kIdeographs, true, kIdeographs},
        {"Greek", kGreek, false, u"?????"},
        {"a cut between the two bytes of an ideograph", kIdeographs + kIdeographs, true,
         std::u16string(127, u'\u4E2D') + u"\u30FB"},
    };
    for (const RoundTripCase& c : doubleByte) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(platform::FitsCodePage(DoubleByteCodePage(), c.text), c.fits);
        EXPECT_EQ(platform::ReportedPath(DoubleByteCodePage(), c.text), c.reported);
    }
}

struct FormCase {
    const char* what;
    std::u16string folder;    // under C:\users, in the profile
    std::u16string shortName; // the folder's short name; empty where the volume keeps none
    const char* given;        // "long", "short" or "none"
};

template <typename CodePage> void CheckForms(const CodePage& page, const FormCase& c) {
    SCOPED_TRACE(c.what);
    FakeShortNames volume;
    const std::u16string path = u"C:\\users\\" + c.folder + u"\\DVT\\NQVQlar.exe";
    if (!c.shortName.empty()) {
        volume.shortNames[u"C:\\users\\" + c.folder] = c.shortName;
    }
    const auto shortForm = [&volume](const std::u16string& longPath) {
        char16_t buffer[1024];
        const std::size_t got = volume.GetShortPathName(longPath.c_str(), buffer, 1024);
        return got == 0 || got >= 1024 ? std::u16string() : std::u16string(buffer, got);
    };
    const std::u16string given = platform::FormForEightBitProgram(page, path, shortForm);
    const std::string expected = c.given;
    EXPECT_EQ(given, expected == "long"    ? path
                     : expected == "short" ? u"C:\\users\\" + c.shortName + u"\\DVT\\NQVQlar.exe"
                                           : u"");
}

TEST(CodePage, TheUtilityGetsAFormThatItsCodePageHoldsWithinMaxPathOrNone) {
    const FormCase western[] = {
        {"inside the code page", u"J\u00fcrgen", u"JRGEN~1", "long"},
        {"Greek with an ASCII short name", kGreek, u"ELENH~1", "short"},
        {"Greek on a FAT volume whose short name keeps OEM letters", u"\u03a3\u03a6",
         u"\u03a3\u03a6", "none"},
        {"Greek on a volume without short names", kGreek, u"", "none"},
        {"a look-alike letter with an ASCII short name", u"Sz\u0151ke", u"SZKE~1", "short"},
        {"too long even in UTF-16 units", kLongLatin, u"JJJJJJ~1", "short"},
    };
    for (const FormCase& c : western) {
        CheckForms(WesternCodePage(), c);
    }
    const FormCase doubleByte[] = {
        {"ideographs within 259 bytes", kIdeographs.substr(0, 60), u"ABCDEF~1", "long"},
        {"ideographs past 259 bytes, under 259 units", kIdeographs + kIdeographs.substr(0, 40),
         u"ABCDEF~1", "short"},
        {"ideographs past 259 bytes on a volume without short names",
         kIdeographs + kIdeographs.substr(0, 40), u"", "none"},
        {"ideographs past 259 bytes, and a short name that keeps OEM letters",
         kIdeographs + kIdeographs.substr(0, 40), u"\u03a3\u03a6~1", "none"},
    };
    for (const FormCase& c : doubleByte) {
        CheckForms(DoubleByteCodePage(), c);
    }
}

} // namespace
