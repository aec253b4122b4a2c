// The feature table of the probe library ZeToolSim.dll: the record layout that the launcher reads,
// the processor features the probe reports, and the pure function that turns the raw answers of the
// CPUID instruction into the records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hwreport/feature_record_layout.h"

namespace zetoolsim {

// One record of KnownObjList, in the layout the launcher reads. Each field is an 8-bit string that
// ends with a NUL inside its slot.
using KnownObj = ::KnownObjRecord;
static_assert(alignof(KnownObj) == 1, "records follow each other without padding");

// The four registers that one CPUID leaf answers with.
struct CpuidRegisters {
    std::uint32_t eax;
    std::uint32_t ebx;
    std::uint32_t ecx;
    std::uint32_t edx;
};

// The raw CPUID answers that the table is built from. The builder looks at a leaf only when the
// maximum leaf reported by leaf 0 (basic leaves) or leaf 0x80000000 (extended leaves) covers it, so
// the reader may leave the others zero.
struct CpuidSnapshot {
    // False when the processor has no CPUID instruction; then nothing else is looked at.
    bool hasCpuid;
    // The maximum basic leaf in eax and the vendor string in ebx, edx, ecx.
    CpuidRegisters leaf0;
    CpuidRegisters leaf1;
    // Leaf 7, subleaf 0.
    CpuidRegisters leaf7;
    // The maximum extended leaf in eax.
    CpuidRegisters leaf80000000;
    CpuidRegisters leaf80000001;
    // Leaves 0x80000002 to 0x80000004, the 48 bytes of the brand string.
    CpuidRegisters brand[3];
};

// The CPUID leaves that hold feature bits.
enum class FeatureLeaf {
    Basic1,      // leaf 1
    Structured7, // leaf 7, subleaf 0
    Extended1,   // leaf 0x80000001
};

// The registers that hold feature bits.
enum class FeatureRegister { Ebx, Ecx, Edx };

// One instruction-set feature: the name the table shows and the bit that reports it.
struct FeatureBit {
    const char* name;
    FeatureLeaf leaf;
    FeatureRegister reg;
    unsigned bit;
};

// The features the probe reports, in table order. A bit says that the processor implements the
// feature; the table does not say whether the operating system has enabled the wider registers
// that some of them need.
inline constexpr FeatureBit kFeatureBits[] = {
    {"x87 FPU", FeatureLeaf::Basic1, FeatureRegister::Edx, 0},
    {"TSC", FeatureLeaf::Basic1, FeatureRegister::Edx, 4},
    {"CMPXCHG8B", FeatureLeaf::Basic1, FeatureRegister::Edx, 8},
    {"CMOV", FeatureLeaf::Basic1, FeatureRegister::Edx, 15},
    {"MMX", FeatureLeaf::Basic1, FeatureRegister::Edx, 23},
    {"SSE", FeatureLeaf::Basic1, FeatureRegister::Edx, 25},
    {"SSE2", FeatureLeaf::Basic1, FeatureRegister::Edx, 26},
    {"SSE3", FeatureLeaf::Basic1, FeatureRegister::Ecx, 0},
    {"SSSE3", FeatureLeaf::Basic1, FeatureRegister::Ecx, 9},
    {"FMA", FeatureLeaf::Basic1, FeatureRegister::Ecx, 12},
    {"SSE4.1", FeatureLeaf::Basic1, FeatureRegister::Ecx, 19},
    {"SSE4.2", FeatureLeaf::Basic1, FeatureRegister::Ecx, 20},
    {"POPCNT", FeatureLeaf::Basic1, FeatureRegister::Ecx, 23},
    {"AES", FeatureLeaf::Basic1, FeatureRegister::Ecx, 25},
    {"AVX", FeatureLeaf::Basic1, FeatureRegister::Ecx, 28},
    {"F16C", FeatureLeaf::Basic1, FeatureRegister::Ecx, 29},
    {"RDRAND", FeatureLeaf::Basic1, FeatureRegister::Ecx, 30},
    {"Hypervisor present", FeatureLeaf::Basic1, FeatureRegister::Ecx, 31},
    {"BMI1", FeatureLeaf::Structured7, FeatureRegister::Ebx, 3},
    {"AVX2", FeatureLeaf::Structured7, FeatureRegister::Ebx, 5},
    {"BMI2", FeatureLeaf::Structured7, FeatureRegister::Ebx, 8},
    {"AVX-512F", FeatureLeaf::Structured7, FeatureRegister::Ebx, 16},
    {"LAHF/SAHF in 64-bit mode", FeatureLeaf::Extended1, FeatureRegister::Ecx, 0},
    {"LZCNT/ABM", FeatureLeaf::Extended1, FeatureRegister::Ecx, 5},
    {"NX (no-execute)", FeatureLeaf::Extended1, FeatureRegister::Edx, 20},
    {"LM (64-bit long mode)", FeatureLeaf::Extended1, FeatureRegister::Edx, 29},
};
inline constexpr std::size_t kFeatureCount = sizeof(kFeatureBits) / sizeof(kFeatureBits[0]);

// The table holds the vendor record, the brand record, one record per feature and the end record.
inline constexpr std::size_t kKnownObjCount = 2 + kFeatureCount + 1;

// The names of the two records that describe the processor itself.
inline constexpr char kVendorFeatureName[] = "Processor vendor";
inline constexpr char kBrandFeatureName[] = "Processor brand";

// Copies the first `length` bytes of `text`, or fewer up to a NUL among them, into a slot of
// `slotSize` bytes. What does not fit is cut off; the rest of the slot is filled with NULs, so the
// slot always holds a NUL-terminated string. A slot of size 0 is left alone.
void CopyIntoSlot(char* slot, std::size_t slotSize, const char* text, std::size_t length);

// Fills the whole table from the CPUID answers:
// - the vendor record: FeatureName "Processor vendor", HardwareId "CPUID.00H:EBX,EDX,ECX",
//   Manufacturer the 12-character vendor string;
// - the brand record: FeatureName "Processor brand", HardwareId "CPUID.80000002H-80000004H",
//   Manufacturer the brand string without its leading and trailing blanks;
// - one record per entry of kFeatureBits, in that order, with the vendor string as Manufacturer
//   and a HardwareId that names the bit, for example "CPUID.01H:EDX[23]";
// - the end record, all zero.
// What the processor does not report carries a word that the launcher leaves out: a clear bit or an
// empty brand string gets " UNKNOWN: ..." after its id, and a leaf above the reported maximum, or a
// processor without CPUID, gets " ERROR: ...".
void BuildKnownObjList(const CpuidSnapshot& cpu, KnownObj (&table)[kKnownObjCount]);

} // namespace zetoolsim
