// Operating-system identification.
//
// PROVISIONAL: until the full identification by edition and service pack is built, this accepts
// every NT 5.0, 5.1, 5.2 and 6.0 system under one representative code of its version (Windows 2000,
// XP Professional, XP Professional x64, Vista of another edition) and refuses everything else.
#include "sysinfo/identify_operating_system.h"

#include "platform/host.h"

const OsCode kSupportedSystems[] = {7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                                    22, 23, 24, 25, 26, 3,  27, 6,  31, 30, 32, 33, 34, 35};
const std::int32_t kSupportedSystemCount =
    static_cast<std::int32_t>(sizeof(kSupportedSystems) / sizeof(kSupportedSystems[0]));

namespace {

OsCode ProvisionalCode(const platform::VersionInfo& version) {
    if (version.platformId != 2) {
        return 0;
    }
    if (version.majorVersion == 5) {
        switch (version.minorVersion) {
        case 0:
            return 3;
        case 1:
            return 11;
        case 2:
            return 6;
        default:
            return 0;
        }
    }
    return version.majorVersion == 6 && version.minorVersion == 0 ? 35 : 0;
}

} // namespace

OsCode IdentifyOperatingSystem(const OsCode* list, std::int32_t count) {
    platform::VersionInfo version;
    platform::host().QueryVersion(version);
    const OsCode code = ProvisionalCode(version);
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
