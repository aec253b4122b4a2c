// The model of the Windows calls beneath the host's path decisions (see fake_windows.h).
#include "tests/support/fake_windows.h"

namespace testing_support {

std::string WesternCodePage::Narrow(const std::u16string& text) const {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
            bytes += static_cast<char>(unit);
        } else if (unit == u'\u0150' || unit == u'\u0151') {
            bytes += unit == u'\u0150' ? 'O' : 'o';
        } else {
            // A surrogate pair is one character and gives one default character.
            i += unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size() ? 1 : 0;
            bytes += '?';
        }
    }
    return bytes;
}

std::u16string WesternCodePage::Widen(const std::string& bytes) const {
    std::u16string text;
    for (const char byte : bytes) {
        text += static_cast<char16_t>(static_cast<unsigned char>(byte));
    }
    return text;
}

namespace {

// The ideographs that the model holds, from U+4E00 on, one for each trail byte of the lead byte.
constexpr char16_t kFirstIdeograph = 0x4E00;
constexpr unsigned kLead = 0x88;

} // namespace

std::string DoubleByteCodePage::Narrow(const std::u16string& text) const {
    std::string bytes;
    for (const char16_t unit : text) {
        const unsigned trail = 0x40 + static_cast<unsigned>(unit - kFirstIdeograph);
        if (unit < 0x80) {
            bytes += static_cast<char>(unit);
        } else if (unit >= kFirstIdeograph && trail < 0xFC) {
            bytes += static_cast<char>(kLead);
            bytes += static_cast<char>(trail >= 0x7F ? trail + 1 : trail);
        } else {
            bytes += '?';
        }
    }
    return bytes;
}

std::u16string DoubleByteCodePage::Widen(const std::string& bytes) const {
    std::u16string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        const auto trail = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0u;
        if (byte < 0x80) {
            text += static_cast<char16_t>(byte);
        } else if (byte != kLead || trail < 0x40 || trail > 0xFC || trail == 0x7F) {
            text += u'\u30FB';
        } else {
            text +=
                static_cast<char16_t>(kFirstIdeograph + (trail > 0x7F ? trail - 1 : trail) - 0x40);
            ++i;
        }
    }
    return text;
}

std::u16string FakeShortNames::ShortForm(const std::u16string& path) const {
    std::u16string shortPath;
    std::u16string longSoFar;
    for (std::size_t at = 0; at <= path.size();) {
        std::size_t end = path.find(u'\\', at);
        end = end == std::u16string::npos ? path.size() : end;
        const std::u16string part = path.substr(at, end - at);
        longSoFar += (at == 0 ? u"" : u"\\") + part;
        if (missing.count(longSoFar) != 0) {
            return std::u16string();
        }
        const auto found = shortNames.find(longSoFar);
        shortPath += (at == 0 ? u"" : u"\\") + (found == shortNames.end() ? part : found->second);
        at = end + 1;
    }
    return shortPath;
}

std::size_t FakeShortNames::GetShortPathName(const char16_t* path, char16_t* buffer,
                                             std::size_t size) {
    bufferSizes.push_back(buffer == nullptr ? 0 : size);
    if (buffer == nullptr) {
        return 0;
    }
    const std::u16string shortPath = ShortForm(path);
    if (shortPath.empty()) {
        return 0;
    }
    if (shortPath.size() + 1 > size) {
        return shortPath.size() + 1;
    }
    shortPath.copy(buffer, shortPath.size());
    buffer[shortPath.size()] = u'\0';
    return shortPath.size();
}

std::u16string EntryReached(const std::u16string& form) {
    const std::u16string verbatim = u"\\\\?\\";
    if (form.compare(0, verbatim.size(), verbatim) != 0) {
        return form.size() < 260 ? form : std::u16string();
    }
    if (form.size() > 32767) {
        return std::u16string();
    }
    const std::u16string unc = verbatim + u"UNC\\";
    if (form.compare(0, unc.size(), unc) == 0) {
        return u"\\\\" + form.substr(unc.size());
    }
    return form.substr(verbatim.size());
}

} // namespace testing_support
