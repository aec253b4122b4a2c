// The probe library ZeToolSim.dll itself: it asks the processor with the CPUID instruction once,
// while the library is being loaded, and keeps the answers as the exported table KnownObjList.
#include "standins/zetoolsim/feature_table.h"

#include <cpuid.h>

extern "C" {

// The table the launcher looks up by name. It is a data object, not a function, exported under
// its plain name: the Windows build names it in zetoolsim.def, and elsewhere every symbol of the
// library is visible. It is complete before the loader hands the library to its caller and does
// not change afterwards.
zetoolsim::KnownObj KnownObjList[zetoolsim::kKnownObjCount];
}

namespace {

// Reads every leaf the table is built from. A leaf above the maximum is never asked for, because
// older processors answer such a leaf with the contents of another one.
zetoolsim::CpuidSnapshot ReadCpuid() {
    zetoolsim::CpuidSnapshot cpu{};
    // The maximum basic leaf is 0 both when a 32-bit processor lacks the instruction and when it
    // has nothing beyond leaf 0; in either case there is nothing worth reporting.
    const unsigned maximum = __get_cpuid_max(0, nullptr);
    if (maximum == 0) {
        return cpu;
    }
    cpu.hasCpuid = true;
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    __cpuid(0, eax, ebx, ecx, edx);
    cpu.leaf0 = {eax, ebx, ecx, edx};
    if (maximum >= 1) {
        __cpuid(1, eax, ebx, ecx, edx);
        cpu.leaf1 = {eax, ebx, ecx, edx};
    }
    if (maximum >= 7) {
        __cpuid_count(7, 0, eax, ebx, ecx, edx);
        cpu.leaf7 = {eax, ebx, ecx, edx};
    }
    const unsigned extendedMaximum = __get_cpuid_max(0x80000000u, nullptr);
    cpu.leaf80000000 = {extendedMaximum, 0, 0, 0};
    if ((extendedMaximum & 0xFFFF0000u) != 0x80000000u) {
        return cpu;
    }
    if (extendedMaximum >= 0x80000001u) {
        __cpuid(0x80000001u, eax, ebx, ecx, edx);
        cpu.leaf80000001 = {eax, ebx, ecx, edx};
    }
    if (extendedMaximum >= 0x80000004u) {
        for (unsigned i = 0; i < 3; ++i) {
            __cpuid(0x80000002u + i, eax, ebx, ecx, edx);
            cpu.brand[i] = {eax, ebx, ecx, edx};
        }
    }
    return cpu;
}

// Fills the table while the library is being loaded: the loader runs the constructors of a shared
// object's static objects before dlopen returns, and a Windows DLL's before LoadLibraryA returns
// (on process attach), so no caller ever sees the table unfilled.
struct TableFiller {
    TableFiller() { zetoolsim::BuildKnownObjList(ReadCpuid(), KnownObjList); }
};
const TableFiller tableFiller;

} // namespace
