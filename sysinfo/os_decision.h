// The identification of the running Windows as a pure function of the values read from the system,
// so that every branch can be tried with given values.
#pragma once

#include <cstdint>
#include <string>

#include "platform/host.h"
#include "sysinfo/os_code.h"

// Everything the identification reads from the system.
struct OsFacts {
    // The extended version record; all zero when the query failed.
    platform::VersionInfo version;
    // Whether GetNativeSystemInfo was found, and the processor architecture it reported.
    bool nativeInfoFound = false;
    unsigned short processorArchitecture = 0;
    // The system metrics for Tablet PC, Media Center and Server 2003 R2; nonzero means set.
    int tabletPc = 0;
    int mediaCenter = 0;
    int serverR2 = 0;
    // The Media Center "Ident" value and the "ProductName" value, as read into 80-byte buffers.
    platform::RegistryValue mediaCenterIdent;
    platform::RegistryValue productName;
};

// The size of the buffer that each registry value is read into.
constexpr unsigned kRegistryBufferSize = 80;

// The Media Center version, 1 to 4, from a value that begins with that digit and a full stop; 0 for
// anything else, including a value that was not read or whose reported size exceeds the buffer.
int ParseMediaCenterVersion(const platform::RegistryValue& ident);

// The Vista edition's code, kVistaUltimate to kVistaBusiness, from the first edition word found in
// the product name; kVistaOtherEdition when none occurs or the value could not be read.
OsCode ParseVistaEdition(const platform::RegistryValue& productName);

// The code of the system these facts describe.
OsCode DecideOsCode(const OsFacts& facts);

// code when it is not 0 and, with a list, is among its first count entries; 0 otherwise. Without a
// list the code is returned as it is.
OsCode MatchList(OsCode code, const OsCode* list, std::int32_t count);
