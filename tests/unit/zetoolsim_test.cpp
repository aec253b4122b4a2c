// Tests of the probe library's table builder: invented CPUID answers in, the records that the
// launcher would read out, checked field by field against the record contract.
#include "standins/zetoolsim/feature_table.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace {

using zetoolsim::BuildKnownObjList;
using zetoolsim::CpuidRegisters;
using zetoolsim::CpuidSnapshot;
using zetoolsim::kKnownObjCount;
using zetoolsim::KnownObj;

using Table = KnownObj[kKnownObjCount];

// Packs four characters the way a CPUID register holds them: the first in the lowest byte.
std::uint32_t Chars(const char* four) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(four[i]);
    }
    return value;
}

// Puts a 48-byte brand string into the three brand leaves; a shorter text is padded with NULs.
void SetBrand(CpuidSnapshot& cpu, const std::string& brand) {
    char bytes[48] = {};
    std::memcpy(bytes, brand.data(), brand.size() < 48 ? brand.size() : 48);
    for (int leaf = 0; leaf < 3; ++leaf) {
        const char* base = bytes + 16 * leaf;
        cpu.brand[leaf] = {Chars(base), Chars(base + 4), Chars(base + 8), Chars(base + 12)};
    }
}

// A processor with every leaf the table reads, the vendor "FixtureChips", no feature bit set, and
// the given brand string.
CpuidSnapshot ModernProcessor(const std::string& brand = "Fixture Chips Model 9") {
    CpuidSnapshot cpu{};
    cpu.hasCpuid = true;
    cpu.leaf0 = {0x16, Chars("Fixt"), Chars("hips"), Chars("ureC")};
    cpu.leaf80000000 = {0x80000008u, 0, 0, 0};
    SetBrand(cpu, brand);
    return cpu;
}

// The field as a reader bound to its slot sees it, or a marker when the slot holds no NUL.
template <std::size_t N> std::string Field(const char (&slot)[N]) {
    const void* nul = std::memchr(slot, '\0', N);
    if (nul == nullptr) {
        return "<no NUL in slot>";
    }
    return std::string(slot, static_cast<const char*>(nul));
}

// The launcher leaves out a record whose HardwareId holds one of these words, in this case.
bool LeftOut(const KnownObj& record) {
    const std::string id = Field(record.HardwareId);
    return id.find("ERROR") != std::string::npos || id.find("UNKNOWN") != std::string::npos ||
           id.find("FEATURE_SET_DETECTED") != std::string::npos;
}

const KnownObj* Find(const Table& table, const std::string& name) {
    for (const KnownObj& record : table) {
        if (record.FeatureName[0] != '\0' && Field(record.FeatureName) == name) {
            return &record;
        }
    }
    return nullptr;
}

bool AllZero(const KnownObj& record) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    for (std::size_t i = 0; i < sizeof record; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

// Checks what every table must satisfy: records up to the last are named and NUL-terminated in all
// three slots, and the last one is the all-zero end record.
void ExpectWellFormed(const Table& table) {
    for (std::size_t i = 0; i + 1 < kKnownObjCount; ++i) {
        SCOPED_TRACE("record " + std::to_string(i));
        EXPECT_NE(table[i].FeatureName[0], '\0');
        EXPECT_NE(std::memchr(table[i].FeatureName, '\0', sizeof table[i].FeatureName), nullptr);
        EXPECT_NE(std::memchr(table[i].HardwareId, '\0', sizeof table[i].HardwareId), nullptr);
        EXPECT_NE(std::memchr(table[i].Manufacturer, '\0', sizeof table[i].Manufacturer), nullptr);
    }
    EXPECT_TRUE(AllZero(table[kKnownObjCount - 1]));
}

// What the table must say about one feature: its name, where its bit is, and the id it is shown
// with. Written out here rather than derived from the builder's list, so that a wrong bit there
// shows up.
struct ExpectedFeature {
    const char* name;
    std::uint32_t leaf;
    char reg;
    unsigned bit;
    const char* id;
};

const ExpectedFeature kExpectedFeatures[] = {
    {"x87 FPU", 1, 'd', 0, "CPUID.01H:EDX[0]"},
    {"TSC", 1, 'd', 4, "CPUID.01H:EDX[4]"},
    {"CMPXCHG8B", 1, 'd', 8, "CPUID.01H:EDX[8]"},
    {"CMOV", 1, 'd', 15, "CPUID.01H:EDX[15]"},
    {"MMX", 1, 'd', 23, "CPUID.01H:EDX[23]"},
    {"SSE", 1, 'd', 25, "CPUID.01H:EDX[25]"},
    {"SSE2", 1, 'd', 26, "CPUID.01H:EDX[26]"},
    {"SSE3", 1, 'c', 0, "CPUID.01H:ECX[0]"},
    {"SSSE3", 1, 'c', 9, "CPUID.01H:ECX[9]"},
    {"FMA", 1, 'c', 12, "CPUID.01H:ECX[12]"},
    {"SSE4.1", 1, 'c', 19, "CPUID.01H:ECX[19]"},
    {"SSE4.2", 1, 'c', 20, "CPUID.01H:ECX[20]"},
    {"POPCNT", 1, 'c', 23, "CPUID.01H:ECX[23]"},
    {"AES", 1, 'c', 25, "CPUID.01H:ECX[25]"},
    {"AVX", 1, 'c', 28, "CPUID.01H:ECX[28]"},
    {"F16C", 1, 'c', 29, "CPUID.01H:ECX[29]"},
    {"RDRAND", 1, 'c', 30, "CPUID.01H:ECX[30]"},
    {"Hypervisor present", 1, 'c', 31, "CPUID.01H:ECX[31]"},
    {"BMI1", 7, 'b', 3, "CPUID.(EAX=07H,ECX=0):EBX[3]"},
    {"AVX2", 7, 'b', 5, "CPUID.(EAX=07H,ECX=0):EBX[5]"},
    {"BMI2", 7, 'b', 8, "CPUID.(EAX=07H,ECX=0):EBX[8]"},
    {"AVX-512F", 7, 'b', 16, "CPUID.(EAX=07H,ECX=0):EBX[16]"},
    {"LAHF/SAHF in 64-bit mode", 0x80000001u, 'c', 0, "CPUID.80000001H:ECX[0]"},
    {"LZCNT/ABM", 0x80000001u, 'c', 5, "CPUID.80000001H:ECX[5]"},
    {"NX (no-execute)", 0x80000001u, 'd', 20, "CPUID.80000001H:EDX[20]"},
    {"LM (64-bit long mode)", 0x80000001u, 'd', 29, "CPUID.80000001H:EDX[29]"},
};
constexpr std::size_t kExpectedCount = sizeof(kExpectedFeatures) / sizeof(kExpectedFeatures[0]);

std::uint32_t& Register(CpuidSnapshot& cpu, std::uint32_t leaf, char reg) {
    CpuidRegisters& registers = leaf == 1 ? cpu.leaf1 : leaf == 7 ? cpu.leaf7 : cpu.leaf80000001;
    return reg == 'b' ? registers.ebx : reg == 'c' ? registers.ecx : registers.edx;
}

void SetBit(CpuidSnapshot& cpu, const char* name) {
    for (const ExpectedFeature& feature : kExpectedFeatures) {
        if (std::strcmp(feature.name, name) == 0) {
            Register(cpu, feature.leaf, feature.reg) |= 1u << feature.bit;
            return;
        }
    }
    ADD_FAILURE() << "no expected feature named " << name;
}

const ExpectedFeature& Expected(const char* name) {
    for (const ExpectedFeature& feature : kExpectedFeatures) {
        if (std::strcmp(feature.name, name) == 0) {
            return feature;
        }
    }
    ADD_FAILURE() << "no expected feature named " << name;
    return kExpectedFeatures[0];
}

TEST(ZeToolSimTable, ModernProcessorShowsVendorBrandAndItsFeatures) {
    CpuidSnapshot cpu = ModernProcessor("      Fixture Chips Model 9 @ 3.00GHz  ");
    for (const char* name :
         {"MMX", "SSE2", "Hypervisor present", "AVX2", "LM (64-bit long mode)"}) {
        SetBit(cpu, name);
    }
    Table table;
    std::memset(table, 0x7F, sizeof table);
    BuildKnownObjList(cpu, table);
    ExpectWellFormed(table);
    EXPECT_EQ(sizeof table, 375 * (kExpectedCount + 3));

    EXPECT_EQ(Field(table[0].FeatureName), "Processor vendor");
    EXPECT_EQ(Field(table[0].HardwareId), "CPUID.00H:EBX,EDX,ECX");
    EXPECT_EQ(Field(table[0].Manufacturer), "FixtureChips");
    EXPECT_EQ(Field(table[1].FeatureName), "Processor brand");
    EXPECT_EQ(Field(table[1].HardwareId), "CPUID.80000002H-80000004H");
    EXPECT_EQ(Field(table[1].Manufacturer), "Fixture Chips Model 9 @ 3.00GHz");

    for (const char* name :
         {"MMX", "SSE2", "Hypervisor present", "AVX2", "LM (64-bit long mode)"}) {
        SCOPED_TRACE(name);
        const KnownObj* record = Find(table, name);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(Field(record->HardwareId), Expected(name).id);
        EXPECT_EQ(Field(record->Manufacturer), "FixtureChips");
        EXPECT_FALSE(LeftOut(*record));
    }
    for (const char* name : {"AES", "SSE3", "BMI2", "NX (no-execute)"}) {
        SCOPED_TRACE(name);
        const KnownObj* record = Find(table, name);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(Field(record->HardwareId),
                  std::string(Expected(name).id) + " UNKNOWN: bit clear");
        EXPECT_TRUE(LeftOut(*record));
    }
}

TEST(ZeToolSimTable, EachFeatureIsReadFromItsOwnBit) {
    ASSERT_EQ(zetoolsim::kFeatureCount, kExpectedCount);
    ASSERT_EQ(kKnownObjCount, kExpectedCount + 3);

    // With no bit set, every feature is listed in order and left out.
    Table none;
    BuildKnownObjList(ModernProcessor(), none);
    ExpectWellFormed(none);
    for (std::size_t i = 0; i < kExpectedCount; ++i) {
        const KnownObj& record = none[2 + i];
        EXPECT_EQ(Field(record.FeatureName), kExpectedFeatures[i].name);
        EXPECT_EQ(Field(record.HardwareId),
                  std::string(kExpectedFeatures[i].id) + " UNKNOWN: bit clear");
    }

    // With every bit set, every feature is shown.
    CpuidSnapshot all = ModernProcessor();
    all.leaf1 = {~0u, ~0u, ~0u, ~0u};
    all.leaf7 = {~0u, ~0u, ~0u, ~0u};
    all.leaf80000001 = {~0u, ~0u, ~0u, ~0u};
    Table table;
    BuildKnownObjList(all, table);
    for (std::size_t i = 0; i + 1 < kKnownObjCount; ++i) {
        EXPECT_FALSE(LeftOut(table[i])) << Field(table[i].FeatureName);
    }
}

// The name a feature's case is reported under: its name with everything but letters and digits
// left out.
std::string FeatureCaseName(const ::testing::TestParamInfo<ExpectedFeature>& info) {
    std::string name;
    for (const char* c = info.param.name; *c != '\0'; ++c) {
        if (std::isalnum(static_cast<unsigned char>(*c)) != 0) {
            name += *c;
        }
    }
    return name;
}

void PrintTo(const ExpectedFeature& feature, std::ostream* out) {
    *out << feature.name;
}

class ZeToolSimFeature : public ::testing::TestWithParam<ExpectedFeature> {};

// With exactly one bit set, exactly its feature is shown, with the plain id.
TEST_P(ZeToolSimFeature, ASingleSetBitShowsExactlyItsFeature) {
    const ExpectedFeature& feature = GetParam();
    CpuidSnapshot cpu = ModernProcessor();
    Register(cpu, feature.leaf, feature.reg) = 1u << feature.bit;
    Table table;
    BuildKnownObjList(cpu, table);
    std::vector<std::string> shown;
    for (std::size_t i = 2; i + 1 < kKnownObjCount; ++i) {
        if (!LeftOut(table[i])) {
            shown.push_back(Field(table[i].FeatureName));
        }
    }
    EXPECT_EQ(shown, std::vector<std::string>{feature.name});
    const KnownObj* record = Find(table, feature.name);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(Field(record->HardwareId), feature.id);
}

INSTANTIATE_TEST_SUITE_P(EveryFeature, ZeToolSimFeature, ::testing::ValuesIn(kExpectedFeatures),
                         FeatureCaseName);

TEST(ZeToolSimTable, LeavesAboveTheMaximumAreNeverRead) {
    // Leaf 7 holds set bits that must not count when the maximum basic leaf is 6, and the extended
    // leaves likewise when the maximum extended leaf is 0x80000000.
    CpuidSnapshot cpu = ModernProcessor();
    cpu.leaf0.eax = 6;
    cpu.leaf1 = {~0u, ~0u, ~0u, ~0u};
    cpu.leaf7 = {~0u, ~0u, ~0u, ~0u};
    cpu.leaf80000000.eax = 0x80000000u;
    cpu.leaf80000001 = {~0u, ~0u, ~0u, ~0u};
    Table table;
    BuildKnownObjList(cpu, table);
    ExpectWellFormed(table);
    EXPECT_FALSE(LeftOut(table[0]));
    EXPECT_EQ(Field(table[1].HardwareId), "CPUID.80000002H-80000004H ERROR: leaf not supported");
    EXPECT_EQ(Field(table[1].Manufacturer), "");
    for (const ExpectedFeature& feature : kExpectedFeatures) {
        SCOPED_TRACE(feature.name);
        const KnownObj* record = Find(table, feature.name);
        ASSERT_NE(record, nullptr);
        if (feature.leaf == 1) {
            EXPECT_EQ(Field(record->HardwareId), feature.id);
        } else {
            EXPECT_EQ(Field(record->HardwareId),
                      std::string(feature.id) + " ERROR: leaf not supported");
        }
    }

    // Extended leaf 0x80000001 without the brand leaves.
    cpu.leaf80000000.eax = 0x80000001u;
    BuildKnownObjList(cpu, table);
    EXPECT_EQ(Field(Find(table, "NX (no-execute)")->HardwareId), "CPUID.80000001H:EDX[20]");
    EXPECT_EQ(Field(table[1].HardwareId), "CPUID.80000002H-80000004H ERROR: leaf not supported");

    // Only leaf 0: the vendor is still known, no feature is.
    cpu.leaf0.eax = 0;
    BuildKnownObjList(cpu, table);
    ExpectWellFormed(table);
    EXPECT_FALSE(LeftOut(table[0]));
    EXPECT_EQ(Field(table[0].Manufacturer), "FixtureChips");
    EXPECT_EQ(Field(Find(table, "MMX")->HardwareId), "CPUID.01H:EDX[23] ERROR: leaf not supported");
}

// A processor without extended leaves may answer leaf 0x80000000 with another leaf's contents,
// which can be any number, large ones too; a maximum outside 8000xxxxH means no extended leaf at
// all. The parameter is that answer.
class ZeToolSimExtendedMaximum : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(ZeToolSimExtendedMaximum, OutsideTheExtendedRangeMeansNoExtendedLeaf) {
    CpuidSnapshot cpu = ModernProcessor();
    cpu.leaf0.eax = 7;
    cpu.leaf1 = {~0u, ~0u, ~0u, ~0u};
    cpu.leaf7 = {~0u, ~0u, ~0u, ~0u};
    cpu.leaf80000000.eax = GetParam();
    cpu.leaf80000001 = {~0u, ~0u, ~0u, ~0u};
    Table table;
    BuildKnownObjList(cpu, table);
    ExpectWellFormed(table);
    EXPECT_EQ(Field(Find(table, "AVX2")->HardwareId), "CPUID.(EAX=07H,ECX=0):EBX[5]");
    EXPECT_EQ(Field(Find(table, "NX (no-execute)")->HardwareId),
              "CPUID.80000001H:EDX[20] ERROR: leaf not supported");
    EXPECT_TRUE(LeftOut(table[1]));
}

INSTANTIATE_TEST_SUITE_P(AnswersOfOtherLeaves, ZeToolSimExtendedMaximum,
                         ::testing::Values(0x0000000Du, 0x8E0D0102u, 0xFFFFFFFFu));

TEST(ZeToolSimTable, ProcessorWithoutCpuidShowsNothing) {
    CpuidSnapshot cpu = ModernProcessor();
    cpu.hasCpuid = false;
    cpu.leaf1 = {~0u, ~0u, ~0u, ~0u};
    Table table;
    BuildKnownObjList(cpu, table);
    ExpectWellFormed(table);
    EXPECT_EQ(Field(table[0].HardwareId), "CPUID.00H:EBX,EDX,ECX ERROR: no CPUID instruction");
    EXPECT_EQ(Field(table[0].Manufacturer), "");
    for (std::size_t i = 0; i + 1 < kKnownObjCount; ++i) {
        EXPECT_TRUE(LeftOut(table[i])) << Field(table[i].FeatureName);
        EXPECT_EQ(Field(table[i].Manufacturer), "") << Field(table[i].FeatureName);
    }
    EXPECT_EQ(Field(Find(table, "MMX")->HardwareId),
              "CPUID.01H:EDX[23] ERROR: no CPUID instruction");
}

TEST(ZeToolSimTable, BrandStringEdges) {
    // All 48 bytes used, so the registers hold no NUL: the record still ends with one.
    const std::string full = "Fixture Chips Extreme Model 1234567890 @ 9.99GHz";
    ASSERT_EQ(full.size(), 48u);
    Table table;
    BuildKnownObjList(ModernProcessor(full), table);
    ExpectWellFormed(table);
    EXPECT_EQ(Field(table[1].Manufacturer), full);
    EXPECT_FALSE(LeftOut(table[1]));

    // Blanks inside the brand stay, blanks around it go.
    BuildKnownObjList(ModernProcessor("   Fixture   Chips\t "), table);
    EXPECT_EQ(Field(table[1].Manufacturer), "Fixture   Chips");

    // A brand of blanks only, or none at all, is no brand.
    for (const std::string& blank : {std::string("        "), std::string()}) {
        BuildKnownObjList(ModernProcessor(blank), table);
        EXPECT_EQ(Field(table[1].HardwareId),
                  "CPUID.80000002H-80000004H UNKNOWN: empty brand string");
        EXPECT_EQ(Field(table[1].Manufacturer), "");
        EXPECT_TRUE(LeftOut(table[1]));
    }
}

TEST(ZeToolSimTable, CopyIntoSlotCutsOffAndAlwaysTerminates) {
    KnownObj record;
    const std::string longText(300, 'x');

    std::memset(&record, 0x7F, sizeof record);
    zetoolsim::CopyIntoSlot(record.Manufacturer, sizeof record.Manufacturer, longText.c_str(),
                            longText.size());
    EXPECT_EQ(Field(record.Manufacturer), std::string(199, 'x'));
    // The neighbouring slot is untouched.
    EXPECT_EQ(static_cast<unsigned char>(record.HardwareId[99]), 0x7F);

    std::memset(&record, 0x7F, sizeof record);
    zetoolsim::CopyIntoSlot(record.FeatureName, sizeof record.FeatureName, longText.c_str(),
                            longText.size());
    EXPECT_EQ(Field(record.FeatureName), std::string(74, 'x'));
    EXPECT_EQ(static_cast<unsigned char>(record.HardwareId[0]), 0x7F);

    // A short text leaves the rest of the slot all NUL, and the length and an inner NUL both stop
    // the copy.
    std::memset(&record, 0x7F, sizeof record);
    zetoolsim::CopyIntoSlot(record.HardwareId, sizeof record.HardwareId, "abcdef", 3);
    EXPECT_EQ(Field(record.HardwareId), "abc");
    for (std::size_t i = 3; i < sizeof record.HardwareId; ++i) {
        EXPECT_EQ(record.HardwareId[i], '\0') << i;
    }
    zetoolsim::CopyIntoSlot(record.HardwareId, sizeof record.HardwareId, "ab\0cd", 5);
    EXPECT_EQ(Field(record.HardwareId), "ab");

    // A slot of one byte holds only the NUL.
    char one = 'x';
    zetoolsim::CopyIntoSlot(&one, 1, "abc", 3);
    EXPECT_EQ(one, '\0');
}

} // namespace
