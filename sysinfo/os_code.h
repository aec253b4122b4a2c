// The OsCode type and the names of its values: one number for each Windows platform, version,
// edition and, for Windows XP, service-pack level that the identification tells apart.
#pragma once

#include <cstdint>

// A number that names a Windows platform, version, edition and service-pack level; 0 means not
// identified, or not in the list asked about.
using OsCode = std::int32_t;

// The values an OsCode takes. The enumeration is unscoped so that each name converts to an OsCode
// where one is expected, in a list of codes or as a result. Within each Windows XP group of four
// codes, the code is the group's first code (the one for service pack 0) plus the service-pack
// major number 0 to 3.
enum KnownOsCode : OsCode {
    kNotIdentified = 0,
    kWindows95 = 1,
    kWindows98 = 2,
    kWindows2000 = 3,
    kWindowsMe = 4,
    // Windows NT 4 and earlier.
    kWindowsNt = 5,
    kXpProfessionalX64 = 6,
    kXpHomeSp0 = 7,
    kXpHomeSp1 = 8,
    kXpHomeSp2 = 9,
    kXpHomeSp3 = 10,
    kXpProfessionalSp0 = 11,
    kXpProfessionalSp1 = 12,
    kXpProfessionalSp2 = 13,
    kXpProfessionalSp3 = 14,
    kXpMediaCenterSp0 = 15,
    kXpMediaCenterSp1 = 16,
    kXpMediaCenterSp2 = 17,
    kXpMediaCenterSp3 = 18,
    // Windows XP Media Center 2005 with Update Rollup 2.
    kXpMediaCenterRollup2Sp0 = 19,
    kXpMediaCenterRollup2Sp1 = 20,
    kXpMediaCenterRollup2Sp2 = 21,
    kXpMediaCenterRollup2Sp3 = 22,
    kXpTabletPcSp0 = 23,
    kXpTabletPcSp1 = 24,
    kXpTabletPcSp2 = 25,
    kXpTabletPcSp3 = 26,
    // Windows XP of any edition with service pack 4 or higher.
    kXpSp4OrLater = 27,
    kServer2003 = 28,
    kServer2003R2 = 29,
    kVistaUltimate = 30,
    kVistaHomeBasic = 31,
    kVistaHomePremium = 32,
    kVistaEnterprise = 33,
    kVistaBusiness = 34,
    // Windows Vista of another edition, or one whose product name could not be read.
    kVistaOtherEdition = 35,
    // NT 6.0 with a product type other than workstation.
    kVistaServer = 36,
};

// The highest service-pack major number that has a code of its own within an XP group.
constexpr unsigned kXpHighestGroupServicePack = 3;
