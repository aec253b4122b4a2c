// Naming the running Windows as one OsCode and testing it against a list of accepted codes.
#pragma once

#include <cstdint>

// A number that names a Windows platform, version, edition and service-pack level; 0 means not
// identified, or not in the list asked about.
using OsCode = std::int32_t;

// The systems the launcher runs on.
extern const OsCode kSupportedSystems[];
extern const std::int32_t kSupportedSystemCount;

// Returns the running system's code; with a list, that code when it is one of the first count
// entries and 0 otherwise.
OsCode IdentifyOperatingSystem(const OsCode* list, std::int32_t count);
