// Operating-system identification: the live queries through the platform seam, and the list of
// supported systems.
#include "sysinfo/identify_operating_system.h"

#include "platform/host.h"

// Windows XP in every edition and service pack, Windows 2000, XP with service pack 4 or higher, XP
// Professional x64, and Vista in every workstation edition.
const OsCode kSupportedSystems[] = {
    kXpHomeSp0,
    kXpHomeSp1,
    kXpHomeSp2,
    kXpHomeSp3,
    kXpProfessionalSp0,
    kXpProfessionalSp1,
    kXpProfessionalSp2,
    kXpProfessionalSp3,
    kXpMediaCenterSp0,
    kXpMediaCenterSp1,
    kXpMediaCenterSp2,
    kXpMediaCenterSp3,
    kXpMediaCenterRollup2Sp0,
    kXpMediaCenterRollup2Sp1,
    kXpMediaCenterRollup2Sp2,
    kXpMediaCenterRollup2Sp3,
    kXpTabletPcSp0,
    kXpTabletPcSp1,
    kXpTabletPcSp2,
    kXpTabletPcSp3,
    kWindows2000,
    kXpSp4OrLater,
    kXpProfessionalX64,
    kVistaHomeBasic,
    kVistaUltimate,
    kVistaHomePremium,
    kVistaEnterprise,
    kVistaBusiness,
    kVistaOtherEdition,
};
const std::int32_t kSupportedSystemCount =
    static_cast<std::int32_t>(sizeof(kSupportedSystems) / sizeof(kSupportedSystems[0]));

namespace {

constexpr int kMetricTabletPc = 86;
constexpr int kMetricMediaCenter = 87;
constexpr int kMetricServerR2 = 89;
const char kMediaCenterKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Media Center";
const char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

platform::RegistryValue ReadMediaCenterIdent() {
    return platform::host().ReadMachineRegistryValue(kMediaCenterKey, "Ident", kRegistryBufferSize);
}

platform::RegistryValue ReadProductName() {
    return platform::host().ReadMachineRegistryValue(kCurrentVersionKey, "ProductName",
                                                     kRegistryBufferSize);
}

} // namespace

OsFacts QueryOsFacts() {
    platform::Host& host = platform::host();
    OsFacts facts;
    // A failed query leaves the record zero: platform 0 matches nothing.
    if (!host.QueryVersion(facts.version)) {
        facts.version = platform::VersionInfo();
    }
    facts.nativeInfoFound = host.NativeProcessorArchitecture(facts.processorArchitecture);
    facts.tabletPc = host.SystemMetric(kMetricTabletPc);
    facts.mediaCenter = host.SystemMetric(kMetricMediaCenter);
    facts.serverR2 = host.SystemMetric(kMetricServerR2);
    facts.mediaCenterIdent = ReadMediaCenterIdent();
    facts.productName = ReadProductName();
    return facts;
}

OsCode IdentifyOperatingSystem(const OsCode* list, std::int32_t count) {
    return MatchList(DecideOsCode(QueryOsFacts()), list, count);
}

int ReadMediaCenterVersion() {
    return ParseMediaCenterVersion(ReadMediaCenterIdent());
}

OsCode ReadVistaEdition() {
    return ParseVistaEdition(ReadProductName());
}
