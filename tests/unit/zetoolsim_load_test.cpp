// Tests of the built probe library ZeToolSim.dll on this machine: it is loaded the way the launcher
// loads it, its exported table is walked byte by byte to the end record, and what it says about the
// processor is compared with what Linux reports in /proc/cpuinfo and what CPUID tells this process.
#include "standins/zetoolsim/feature_table.h"

#include <gtest/gtest.h>

#include "hwreport/feature_record_layout.h"

#include <cpuid.h>
#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Record {
    std::string featureName;
    std::string hardwareId;
    std::string manufacturer;
};

// One field read the way the launcher must read it: up to its NUL, never past its slot.
std::string SlotText(const unsigned char* slot, std::size_t size) {
    const void* nul = std::memchr(slot, '\0', size);
    const std::size_t length =
        nul != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - slot)
                       : size;
    return std::string(reinterpret_cast<const char*>(slot), length);
}

// The value of the first line "<key>\t: <value>" of /proc/cpuinfo.
std::string CpuinfoValue(const std::string& key) {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        std::string name = line.substr(0, colon);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) {
            name.pop_back();
        }
        if (name == key) {
            const std::size_t value = line.find_first_not_of(' ', colon + 1);
            return value == std::string::npos ? std::string() : line.substr(value);
        }
    }
    return std::string();
}

// The processor's brand string as the brand leaves 0x80000002 to 0x80000004 give it to this
// process, with leading and trailing blanks trimmed; empty when the processor has no such leaves.
// Linux usually shows the same text as its model name, but a hypervisor may give the kernel another
// one, so the test asks the processor itself.
std::string BrandFromCpuid() {
    unsigned int top = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(0x80000000u, &top, &ebx, &ecx, &edx) == 0 || top < 0x80000004u) {
        return std::string();
    }
    char brand[49] = {};
    for (unsigned int leaf = 0; leaf < 3; ++leaf) {
        unsigned int regs[4] = {};
        __get_cpuid(0x80000002u + leaf, &regs[0], &regs[1], &regs[2], &regs[3]);
        std::memcpy(brand + 16 * leaf, regs, sizeof regs);
    }
    std::string text(brand);
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool LeftOut(const Record& record) {
    return record.hardwareId.find("ERROR") != std::string::npos ||
           record.hardwareId.find("UNKNOWN") != std::string::npos ||
           record.hardwareId.find("FEATURE_SET_DETECTED") != std::string::npos;
}

class ZeToolSimLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        library_ = dlopen(MXV_TEST_ZETOOLSIM_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
        table_ = static_cast<const unsigned char*>(dlsym(library_, "KnownObjList"));
        ASSERT_NE(table_, nullptr) << dlerror();
    }

    void TearDown() override {
        if (library_ != nullptr) {
            dlclose(library_);
        }
    }

    void* library_ = nullptr;
    const unsigned char* table_ = nullptr;
};

TEST_F(ZeToolSimLibrary, ExportsTheTableAsOneDataObject) {
    Dl_info info{};
    void* entry = nullptr;
    ASSERT_NE(dladdr1(table_, &info, &entry, RTLD_DL_SYMENT), 0);
    ASSERT_NE(entry, nullptr);
    const auto* symbol = static_cast<const ElfW(Sym)*>(entry);
    EXPECT_STREQ(info.dli_sname, "KnownObjList");
    // Both ELF classes keep the symbol type in the same bits.
    EXPECT_EQ(ELF64_ST_TYPE(symbol->st_info), STT_OBJECT);
    EXPECT_EQ(symbol->st_size, MXV_FEATURE_RECORD_SIZE * zetoolsim::kKnownObjCount);
}

TEST_F(ZeToolSimLibrary, TableDescribesThisProcessor) {
    // The walk is bounded by the table's size, so a missing end record fails instead of reading
    // past the table.
    std::vector<Record> records;
    bool ended = false;
    for (std::size_t i = 0; i < zetoolsim::kKnownObjCount; ++i) {
        const unsigned char* record = table_ + i * MXV_FEATURE_RECORD_SIZE;
        if (record[0] == '\0') {
            ended = true;
            break;
        }
        SCOPED_TRACE("record " + std::to_string(i));
        const unsigned char* name = record + MXV_FEATURE_NAME_OFFSET;
        const unsigned char* id = record + MXV_HARDWARE_ID_OFFSET;
        const unsigned char* manufacturer = record + MXV_MANUFACTURER_OFFSET;
        EXPECT_NE(std::memchr(name, '\0', MXV_FEATURE_NAME_WIDTH), nullptr);
        EXPECT_NE(std::memchr(id, '\0', MXV_HARDWARE_ID_WIDTH), nullptr);
        EXPECT_NE(std::memchr(manufacturer, '\0', MXV_MANUFACTURER_WIDTH), nullptr);
        records.push_back({SlotText(name, MXV_FEATURE_NAME_WIDTH),
                           SlotText(id, MXV_HARDWARE_ID_WIDTH),
                           SlotText(manufacturer, MXV_MANUFACTURER_WIDTH)});
    }
    ASSERT_TRUE(ended) << "no end record within the table";
    ASSERT_EQ(records.size(), zetoolsim::kKnownObjCount - 1);

    const std::string vendor = CpuinfoValue("vendor_id");
    ASSERT_FALSE(vendor.empty()) << "/proc/cpuinfo names no vendor_id";
    EXPECT_EQ(records[0].featureName, "Processor vendor");
    EXPECT_EQ(records[0].hardwareId, "CPUID.00H:EBX,EDX,ECX");
    EXPECT_EQ(records[0].manufacturer, vendor);

    // The brand comes from the brand leaves, trimmed.
    EXPECT_EQ(records[1].featureName, "Processor brand");
    if (!LeftOut(records[1])) {
        EXPECT_EQ(records[1].manufacturer, BrandFromCpuid());
    }

    // Every feature record names its bit and carries the vendor.
    std::map<std::string, Record> features;
    for (std::size_t i = 2; i < records.size(); ++i) {
        EXPECT_EQ(records[i].hardwareId.rfind("CPUID.", 0), 0u) << records[i].hardwareId;
        EXPECT_EQ(records[i].manufacturer, vendor) << records[i].featureName;
        features[records[i].featureName] = records[i];
    }

    // Linux clears feature flags it cannot use, but never lists one the processor lacks, so every
    // flag it lists must be a feature the table shows.
    std::set<std::string> flags;
    std::istringstream flagText(CpuinfoValue("flags"));
    for (std::string flag; flagText >> flag;) {
        flags.insert(flag);
    }
    ASSERT_FALSE(flags.empty()) << "/proc/cpuinfo lists no flags";
    const std::map<std::string, std::string> linuxFlags = {
        {"x87 FPU", "fpu"},
        {"TSC", "tsc"},
        {"CMPXCHG8B", "cx8"},
        {"CMOV", "cmov"},
        {"MMX", "mmx"},
        {"SSE", "sse"},
        {"SSE2", "sse2"},
        {"SSE3", "pni"},
        {"SSSE3", "ssse3"},
        {"FMA", "fma"},
        {"SSE4.1", "sse4_1"},
        {"SSE4.2", "sse4_2"},
        {"POPCNT", "popcnt"},
        {"AES", "aes"},
        {"AVX", "avx"},
        {"F16C", "f16c"},
        {"RDRAND", "rdrand"},
        {"Hypervisor present", "hypervisor"},
        {"BMI1", "bmi1"},
        {"AVX2", "avx2"},
        {"BMI2", "bmi2"},
        {"AVX-512F", "avx512f"},
        {"LAHF/SAHF in 64-bit mode", "lahf_lm"},
        {"LZCNT/ABM", "abm"},
        {"NX (no-execute)", "nx"},
        {"LM (64-bit long mode)", "lm"},
    };
    ASSERT_EQ(features.size(), linuxFlags.size());
    for (const auto& [name, flag] : linuxFlags) {
        SCOPED_TRACE(name);
        const auto found = features.find(name);
        ASSERT_NE(found, features.end());
        if (flags.count(flag) != 0) {
            EXPECT_FALSE(LeftOut(found->second)) << found->second.hardwareId;
        }
    }
    // A 64-bit Linux runs only on a processor with long mode, so at least that one is shown.
    EXPECT_FALSE(LeftOut(features["LM (64-bit long mode)"]));
}

} // namespace
