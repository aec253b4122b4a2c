// A Windows test program, run under Wine: prints the code that the operating-system identification
// gives for the running system, bare and tested against the supported list, as "code=N listed=M".
#include <cstdio>

#include "sysinfo/identify_operating_system.h"

int main() {
    std::printf(
        "code=%d listed=%d\n", static_cast<int>(IdentifyOperatingSystem(nullptr, 0)),
        static_cast<int>(IdentifyOperatingSystem(kSupportedSystems, kSupportedSystemCount)));
    return 0;
}
