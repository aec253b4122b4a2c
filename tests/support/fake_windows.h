// A model of the Windows calls beneath the Windows host's path decisions, as Windows 2000 and XP
// behave by their documentation, for the native tests of those decisions: two 8-bit code pages, a
// volume's short names as GetShortPathNameW gives them, the 8-bit module paths of the process
// list, and the length limit of the wide file calls. Text is UTF-16 in std::u16string.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace testing_support {

// The Western code page 1252 as WideCharToMultiByte and MultiByteToWideChar use it: ASCII and the
// Latin-1 letters as one byte each, a few letters given as a look-alike of the page ("o" for "ő"),
// every other character as the default character "?".
struct WesternCodePage {
    std::string Narrow(const std::u16string& text) const;
    std::u16string Widen(const std::string& bytes) const;
};

// A double-byte code page with the byte ranges of code page 932: ASCII as one byte, the first 188
// ideographs from U+4E00 on as the lead byte 0x88 and a trail byte (0x40 to 0xFC without 0x7F, so
// a trail byte can be "\"), everything else as "?". A lead byte without its trail, as a cut can
// leave it, reads back as the page's default character U+30FB.
struct DoubleByteCodePage {
    std::string Narrow(const std::u16string& text) const;
    std::u16string Widen(const std::string& bytes) const;
};

// A volume's short names and GetShortPathNameW over them. Each part of a path that has a short
// name is given it; a part without one keeps its long name, so on a volume that keeps no short
// names the call gives the long path back.
class FakeShortNames {
public:
    // The short name of the last part of longPath, such as "ELENH~1" or, on a FAT volume where
    // the OEM code page 437 holds the letter, "ΣΦ".
    std::map<std::u16string, std::u16string> shortNames;
    // Paths that do not exist: the call fails for them and for everything beneath them.
    std::set<std::u16string> missing;
    // The buffer size of every call, in order; 0 for a call without a buffer.
    std::vector<std::size_t> bufferSizes;

    // As GetShortPathNameW: the short form's length without its NUL when it fits size units, else
    // the size needed with the NUL; 0 when the path does not exist. Asking for the size with a
    // null buffer is not described for Windows 2000, so such a call fails.
    std::size_t GetShortPathName(const char16_t* path, char16_t* buffer, std::size_t size);

private:
    std::u16string ShortForm(const std::u16string& path) const;
};

// The executable's path as the process list of Windows 2000 and XP gives it (szExePath of
// MODULEENTRY32): its 8-bit form in the code page, cut at 255 bytes.
template <typename CodePage>
std::string ListedModulePath(const CodePage& page, const std::u16string& path) {
    return page.Narrow(path).substr(0, 255);
}

// The entry that a wide file call reaches when given form, or the empty text when the call
// refuses it: a plain path of MAX_PATH (260) units or more is refused, a "\\?\" path is taken up
// to 32,767 units and read as it stands ("\\?\UNC\server\share" is "\\server\share").
std::u16string EntryReached(const std::u16string& form);

} // namespace testing_support
