// Naming the running Windows as one OsCode and testing it against a list of accepted codes.
#pragma once

#include <cstdint>

#include "sysinfo/os_decision.h"

// The systems the launcher runs on, in the order the system check passes them.
extern const OsCode kSupportedSystems[];
extern const std::int32_t kSupportedSystemCount;

// Everything the identification reads, queried from the system now.
OsFacts QueryOsFacts();

// Returns the running system's code; with a list, that code when it is one of the first count
// entries and 0 otherwise.
OsCode IdentifyOperatingSystem(const OsCode* list, std::int32_t count);

// The Media Center version, 0 to 4, read from the registry.
int ReadMediaCenterVersion();

// The Vista edition's code, kVistaUltimate to kVistaOtherEdition, read from the registry.
OsCode ReadVistaEdition();
