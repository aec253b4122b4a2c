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
        return kNotIdentified;
    }
    switch (version.minorVersion) {
    case 0:
        return kWindows95;
    case 10:
        return kWindows98;
    case 90:
        return kWindowsMe;
    default:
        return kNotIdentified;
    }
}

OsCode XpCode(const OsFacts& facts) {
    // The first code of the edition's group, the one for service pack 0.
    OsCode group;
    if (facts.mediaCenter != 0) {
        group = ParseMediaCenterVersion(facts.mediaCenterIdent) == 4 ? kXpMediaCenterRollup2Sp0
                                                                     : kXpMediaCenterSp0;
    } else if (facts.tabletPc != 0) {
        group = kXpTabletPcSp0;
    } else if ((facts.version.suiteMask & kSuitePersonal) != 0) {
        group = kXpHomeSp0;
    } else {
        group = kXpProfessionalSp0;
    }
    const unsigned servicePack = facts.version.servicePackMajor;
    return servicePack <= kXpHighestGroupServicePack ? group + static_cast<OsCode>(servicePack)
                                                     : kXpSp4OrLater;
}

OsCode NtCode(const OsFacts& facts) {
    const platform::VersionInfo& version = facts.version;
    if (version.majorVersion == 6) {
        if (version.minorVersion != 0) {
            return kNotIdentified;
        }
        return version.productType == kWorkstation ? ParseVistaEdition(facts.productName)
                                                   : kVistaServer;
    }
    if (version.majorVersion == 5) {
        switch (version.minorVersion) {
        case 2:
            if (facts.serverR2 != 0) {
                return kServer2003R2;
            }
            return version.productType == kWorkstation && facts.nativeInfoFound &&
                           facts.processorArchitecture == kArchitectureAmd64
                       ? kXpProfessionalX64
                       : kServer2003;
        case 1:
            return XpCode(facts);
        case 0:
            return kWindows2000;
        default:
            return kNotIdentified;
        }
    }
    return version.majorVersion <= 4 ? kWindowsNt : kNotIdentified;
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
        {"Ultimate", kVistaUltimate},   {"Basic", kVistaHomeBasic},
        {"Premium", kVistaHomePremium}, {"Enterprise", kVistaEnterprise},
        {"Business", kVistaBusiness},
    };
    std::string text;
    if (!ValueText(productName, text)) {
        return kVistaOtherEdition;
    }
    for (const auto& edition : kEditions) {
        if (text.find(edition.word) != std::string::npos) {
            return edition.code;
        }
    }
    return kVistaOtherEdition;
}

OsCode DecideOsCode(const OsFacts& facts) {
    switch (facts.version.platformId) {
    case kPlatformWindows:
        return WindowsCode(facts.version);
    case kPlatformNt:
        return NtCode(facts);
    default:
        return kNotIdentified;
    }
}

OsCode MatchList(OsCode code, const OsCode* list, std::int32_t count) {
    if (code == kNotIdentified || list == nullptr) {
        return code;
    }
    for (std::int32_t i = 0; i < count; ++i) {
        if (list[i] == code) {
            return code;
        }
    }
    return kNotIdentified;
}
