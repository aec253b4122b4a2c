// The length of a path as Windows limits it, its short form read through a model of
// GetShortPathNameW, and the form that the wide file calls take past MAX_PATH, checked against a
// model of those calls.
#include "platform/win32/path_forms.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/utf16.h"
#include "tests/support/fake_windows.h"

namespace {

TEST(PathForms, LengthCountsUtf16Units) {
    const struct {
        std::string path;
        std::size_t length;
    } cases[] = {
        {"", 0},
        {"C:\\users\\Ann", 12},
        {"J\xC3\xBCrgen", 6},     // two bytes, one unit
        {"\xCE\x95\xCE\xBB", 2},  // Greek
        {"\xE4\xB8\xAD", 1},      // an ideograph: three bytes, one unit
        {"A\xF0\x9D\x92\x9C", 3}, // beyond the Basic Multilingual Plane
        {"\xFF\xFE", 2},          // no UTF-8: counted in bytes
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::WindowsPathLength(c.path), c.length) << c.path;
    }
}

TEST(PathForms, ShortFormStartsWithAMaxPathBufferAndGrowsOnlyWhenAsked) {
    const std::u16string deep = u"C:\\" + std::u16string(300, u'd');
    const struct {
        const char* what;
        std::u16string path;
        std::u16string shortName; // of the path's last part
        bool missing;
        std::u16string expected;
        std::vector<std::size_t> bufferSizes;
    } cases[] = {
        {"a short form",
         u"C:\\users\\\u0395\u03bb",
         u"ELENH~1",
         false,
         u"C:\\users\\ELENH~1",
         {261}},
        {"no short name: the path itself", u"C:\\users\\Ann", u"", false, u"C:\\users\\Ann", {261}},
        {"a missing path", u"C:\\gone", u"", true, u"", {261}},
        {"a short form past MAX_PATH", deep + u"\\x", u"", false, deep + u"\\x", {261, 306}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testing_support::FakeShortNames volume;
        if (!c.shortName.empty()) {
            volume.shortNames[c.path] = c.shortName;
        }
        if (c.missing) {
            volume.missing.insert(c.path);
        }
        const std::u16string got = platform::ShortPathThrough(
            c.path, [&volume](const char16_t* path, char16_t* buffer, std::size_t size) {
                return volume.GetShortPathName(path, buffer, size);
            });
        EXPECT_EQ(got, c.expected);
        EXPECT_EQ(volume.bufferSizes, c.bufferSizes);
    }
}

TEST(PathForms, PathsPastMaxPathReachTheirEntryInTheLongPathForm) {
    const std::u16string deep = std::u16string(200, u'a') + u"\\" + std::u16string(100, u'b');
    const struct {
        const char* what;
        std::u16string path;
        std::u16string reached; // the entry that the wide call reaches; empty when refused
    } cases[] = {
        {"a short path as it stands", u"C:\\users\\Ann\\DVT\\x", u"C:\\users\\Ann\\DVT\\x"},
        {"a deep entry", u"C:\\DVT\\" + deep, u"C:\\DVT\\" + deep},
        {"a deep listing pattern", u"C:\\DVT\\" + deep + u"\\*", u"C:\\DVT\\" + deep + u"\\*"},
        {"a deep entry of a share", u"\\\\server\\share\\DVT\\" + deep,
         u"\\\\server\\share\\DVT\\" + deep},
        {"a deep entry whose name ends in a dot", u"C:\\DVT\\" + deep + u"\\x.",
         u"C:\\DVT\\" + deep + u"\\x."},
        {"dot, dot-dot, doubled and forward separators cleaned up",
         u"C:\\users\\.\\x\\..\\Ann//DVT\\" + deep, u"C:\\users\\Ann\\DVT\\" + deep},
        {"dot-dot never above the share", u"\\\\server\\share\\..\\..\\DVT\\" + deep,
         u"\\\\server\\share\\DVT\\" + deep},
        {"a deep relative path stays refused", u"DVT\\" + deep, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(testing_support::EntryReached(platform::WideCallForm(c.path)), c.reached);
    }
}

} // namespace
