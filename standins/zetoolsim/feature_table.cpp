// Builds the probe library's feature table from raw CPUID answers. Nothing here touches the
// processor, so the table for any processor can be built and checked anywhere.
#include "standins/zetoolsim/feature_table.h"

#include <cstring>

namespace zetoolsim {
namespace {

// Writes text into one slot of a record from its start, cutting it off where the slot ends so that
// the last byte always stays a NUL.
class SlotWriter {
public:
    SlotWriter(char* slot, std::size_t size) : slot_(slot), size_(size) { Terminate(); }

    SlotWriter& Append(const char* text) {
        for (; *text != '\0'; ++text) {
            Put(*text);
        }
        return *this;
    }

    // Writes a leaf number the way processor manuals do: upper-case hexadecimal with at least two
    // digits and an "H" after it, for example "07H" or "80000001H".
    SlotWriter& AppendLeaf(std::uint32_t leaf) {
        char digits[8];
        std::size_t count = 0;
        do {
            digits[count++] = "0123456789ABCDEF"[leaf & 0xF];
            leaf >>= 4;
        } while (leaf != 0);
        if (count == 1) {
            digits[count++] = '0';
        }
        while (count > 0) {
            Put(digits[--count]);
        }
        Put('H');
        return *this;
    }

    SlotWriter& AppendDecimal(unsigned value) {
        char digits[10];
        std::size_t count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (count > 0) {
            Put(digits[--count]);
        }
        return *this;
    }

private:
    void Put(char c) {
        if (used_ + 1 < size_) {
            slot_[used_++] = c;
            Terminate();
        }
    }

    void Terminate() {
        if (size_ > 0) {
            slot_[used_] = '\0';
        }
    }

    char* slot_;
    std::size_t size_;
    std::size_t used_ = 0;
};

// What became of a leaf the table wants to read.
enum class LeafState { Readable, AboveMaximum, NoCpuid };

const char* RegisterName(FeatureRegister reg) {
    switch (reg) {
    case FeatureRegister::Ebx:
        return "EBX";
    case FeatureRegister::Ecx:
        return "ECX";
    case FeatureRegister::Edx:
        return "EDX";
    }
    return "?";
}

std::uint32_t RegisterValue(const CpuidRegisters& registers, FeatureRegister reg) {
    switch (reg) {
    case FeatureRegister::Ebx:
        return registers.ebx;
    case FeatureRegister::Ecx:
        return registers.ecx;
    case FeatureRegister::Edx:
        return registers.edx;
    }
    return 0;
}

LeafState BasicLeafState(const CpuidSnapshot& cpu, std::uint32_t leaf) {
    if (!cpu.hasCpuid) {
        return LeafState::NoCpuid;
    }
    return cpu.leaf0.eax >= leaf ? LeafState::Readable : LeafState::AboveMaximum;
}

// Processors without extended leaves answer leaf 0x80000000 with whatever their highest basic leaf
// holds, so only a maximum of the form 8000xxxxH counts.
LeafState ExtendedLeafState(const CpuidSnapshot& cpu, std::uint32_t leaf) {
    if (!cpu.hasCpuid) {
        return LeafState::NoCpuid;
    }
    const std::uint32_t maximum = cpu.leaf80000000.eax;
    const bool extendedRange = (maximum & 0xFFFF0000u) == 0x80000000u;
    return extendedRange && maximum >= leaf ? LeafState::Readable : LeafState::AboveMaximum;
}

// Adds the reason a record is left out of the launcher's list, or nothing when it is readable.
void AppendUnreadable(SlotWriter& id, LeafState state) {
    if (state == LeafState::AboveMaximum) {
        id.Append(" ERROR: leaf not supported");
    } else if (state == LeafState::NoCpuid) {
        id.Append(" ERROR: no CPUID instruction");
    }
}

// The vendor string is the twelve bytes of EBX, EDX and ECX of leaf 0, in that order, each register
// read from its lowest byte up.
void VendorText(const CpuidSnapshot& cpu, char (&vendor)[13]) {
    std::memset(vendor, 0, sizeof vendor);
    if (!cpu.hasCpuid) {
        return;
    }
    const std::uint32_t parts[3] = {cpu.leaf0.ebx, cpu.leaf0.edx, cpu.leaf0.ecx};
    for (std::size_t i = 0; i < 12; ++i) {
        vendor[i] = static_cast<char>((parts[i / 4] >> (8 * (i % 4))) & 0xFF);
    }
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

void FillVendorRecord(const CpuidSnapshot& cpu, const char* vendor, KnownObj& record) {
    CopyIntoSlot(record.FeatureName, sizeof record.FeatureName, kVendorFeatureName,
                 sizeof kVendorFeatureName);
    SlotWriter id(record.HardwareId, sizeof record.HardwareId);
    id.Append("CPUID.00H:EBX,EDX,ECX");
    AppendUnreadable(id, BasicLeafState(cpu, 0));
    CopyIntoSlot(record.Manufacturer, sizeof record.Manufacturer, vendor, 12);
}

// The brand string is up to 48 bytes, ended by a NUL when shorter; processors often pad it with
// blanks in front, which the table leaves out.
void FillBrandRecord(const CpuidSnapshot& cpu, KnownObj& record) {
    CopyIntoSlot(record.FeatureName, sizeof record.FeatureName, kBrandFeatureName,
                 sizeof kBrandFeatureName);
    SlotWriter id(record.HardwareId, sizeof record.HardwareId);
    id.Append("CPUID.80000002H-80000004H");
    const LeafState state = ExtendedLeafState(cpu, 0x80000004u);
    if (state != LeafState::Readable) {
        AppendUnreadable(id, state);
        return;
    }
    char brand[48];
    for (std::size_t i = 0; i < sizeof brand; ++i) {
        const CpuidRegisters& leaf = cpu.brand[i / 16];
        const std::uint32_t parts[4] = {leaf.eax, leaf.ebx, leaf.ecx, leaf.edx};
        brand[i] = static_cast<char>((parts[(i % 16) / 4] >> (8 * (i % 4))) & 0xFF);
    }
    std::size_t end = 0;
    while (end < sizeof brand && brand[end] != '\0') {
        ++end;
    }
    std::size_t begin = 0;
    while (begin < end && IsBlank(brand[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(brand[end - 1])) {
        --end;
    }
    if (begin == end) {
        id.Append(" UNKNOWN: empty brand string");
        return;
    }
    CopyIntoSlot(record.Manufacturer, sizeof record.Manufacturer, brand + begin, end - begin);
}

void FillFeatureRecord(const CpuidSnapshot& cpu, const FeatureBit& feature, const char* vendor,
                       KnownObj& record) {
    CopyIntoSlot(record.FeatureName, sizeof record.FeatureName, feature.name,
                 std::strlen(feature.name));
    SlotWriter id(record.HardwareId, sizeof record.HardwareId);
    LeafState state = LeafState::Readable;
    const CpuidRegisters* registers = nullptr;
    switch (feature.leaf) {
    case FeatureLeaf::Basic1:
        id.Append("CPUID.").AppendLeaf(1);
        state = BasicLeafState(cpu, 1);
        registers = &cpu.leaf1;
        break;
    case FeatureLeaf::Structured7:
        id.Append("CPUID.(EAX=").AppendLeaf(7).Append(",ECX=0)");
        state = BasicLeafState(cpu, 7);
        registers = &cpu.leaf7;
        break;
    case FeatureLeaf::Extended1:
        id.Append("CPUID.").AppendLeaf(0x80000001u);
        state = ExtendedLeafState(cpu, 0x80000001u);
        registers = &cpu.leaf80000001;
        break;
    }
    id.Append(":").Append(RegisterName(feature.reg)).Append("[").AppendDecimal(feature.bit);
    id.Append("]");
    if (state != LeafState::Readable) {
        AppendUnreadable(id, state);
    } else if (((RegisterValue(*registers, feature.reg) >> feature.bit) & 1u) == 0) {
        id.Append(" UNKNOWN: bit clear");
    }
    CopyIntoSlot(record.Manufacturer, sizeof record.Manufacturer, vendor, std::strlen(vendor));
}

} // namespace

void CopyIntoSlot(char* slot, std::size_t slotSize, const char* text, std::size_t length) {
    if (slotSize == 0) {
        return;
    }
    std::size_t count = 0;
    while (count < length && count + 1 < slotSize && text[count] != '\0') {
        slot[count] = text[count];
        ++count;
    }
    std::memset(slot + count, 0, slotSize - count);
}

void BuildKnownObjList(const CpuidSnapshot& cpu, KnownObj (&table)[kKnownObjCount]) {
    std::memset(table, 0, sizeof table);
    char vendor[13];
    VendorText(cpu, vendor);
    std::size_t next = 0;
    FillVendorRecord(cpu, vendor, table[next++]);
    FillBrandRecord(cpu, table[next++]);
    for (const FeatureBit& feature : kFeatureBits) {
        FillFeatureRecord(cpu, feature, vendor, table[next++]);
    }
    // The last record stays all zero: it is the end record.
}

} // namespace zetoolsim
