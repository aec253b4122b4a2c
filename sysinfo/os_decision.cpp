// The decision table that turns the version record, the processor type, the metrics and the two
// registry values into an OsCode.
#include "sysinfo/os_decision.h"

namespace {

constexpr unsigned kPlatformWindows = 1;
constexpr unsigned kPlatformNt = 2;
constexpr unsigned char kWorkstation = 1;
constexpr unsigned short kSuitePersonal = 0x200;
constexpr unsigned short kArchitectureAmd64 = 9;

// The text of a value that was read and fits its buffer: its bytes up to the first NUL or to the
// end of what was read, whichever comes first. Nothing beyond the buffer is ever looked at. Returns
// false for a value that was not read or whose reported size exceeds the buffer.
bool ValueText(const platform::RegistryValue& value, std::string& text) {
    if (!value.read || value.reportedSize > kRegistryBufferSize) {
        return false;
    }
    std::size_t length = value.reportedSize;
    if (length > value.bytes.size()) {
        length = value.bytes.size();
    }
    text.assign(value.bytes.data(), length);
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos) {
        text.resize(nul);
    }
    return true;
}

OsCode WindowsCode(const platform::VersionInfo& version) {
    if (version.majorVersion != 4) {
        return 0;
    }
    switch (version.minorVersion) {
    case 0:
        return 1;
    case 10:
        return 2;
    case 90:
        return 4;
    default:
        return 0;
    }
}

OsCode XpCode(const OsFacts& facts) {
    OsCode group;
    if (facts.mediaCenter != 0) {
        group = ParseMediaCenterVersion(facts.mediaCenterIdent) == 4 ? 19 : 15;
    } else if (facts.tabletPc != 0) {
        group = 23;
    } else if ((facts.version.suiteMask & kSuitePersonal) != 0) {
        group = 7;
    } else {
        group = 11;
    }
    const unsigned servicePack = facts.version.servicePackMajor;
    return servicePack <= 3 ? group + static_cast<OsCode>(servicePack) : 27;
}

OsCode NtCode(const OsFacts& facts) {
    const platform::VersionInfo& version = facts.version;
    if (version.majorVersion == 6) {
        if (version.minorVersion != 0) {
            return 0;
        }
        return version.productType == kWorkstation ? ParseVistaEdition(facts.productName) : 36;
    }
    if (version.majorVersion == 5) {
        switch (version.minorVersion) {
        case 2:
            if (facts.serverR2 != 0) {
                return 29;
            }
            return version.productType == kWorkstation && facts.nativeInfoFound &&
                           facts.processorArchitecture == kArchitectureAmd64
                       ? 6
                       : 28;
        case 1:
            return XpCode(facts);
        case 0:
            return 3;
        default:
            return 0;
        }
    }
    return version.majorVersion <= 4 ? 5 : 0;
}

} // namespace

int ParseMediaCenterVersion(const platform::RegistryValue& ident) {
    std::string text;
    if (!ValueText(ident, text) || text.size() < 2 || text[1] != '.' || text[0] < '1' ||
        text[0] > '4') {
        return 0;
    }
    return text[0] - '0';
}

OsCode ParseVistaEdition(const platform::RegistryValue& productName) {
    static const struct {
        const char* word;
        OsCode code;
    } kEditions[] = {
        {"Ultimate", 30}, {"Basic", 31}, {"Premium", 32}, {"Enterprise", 33}, {"Business", 34},
    };
    std::string text;
    if (!ValueText(productName, text)) {
        return 35;
    }
    for (const auto& edition : kEditions) {
        if (text.find(edition.word) != std::string::npos) {
            return edition.code;
        }
    }
    return 35;
}

OsCode DecideOsCode(const OsFacts& facts) {
    switch (facts.version.platformId) {
    case kPlatformWindows:
        return WindowsCode(facts.version);
    case kPlatformNt:
        return NtCode(facts);
    default:
        return 0;
    }
}

OsCode MatchList(OsCode code, const OsCode* list, std::int32_t count) {
    if (code == 0 || list == nullptr) {
        return code;
    }
    for (std::int32_t i = 0; i < count; ++i) {
        if (list[i] == code) {
            return code;
        }
    }
    return 0;
}
