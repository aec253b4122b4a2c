// Reading, filtering and printing one feature record.
#include "hwreport/feature_record.h"

#include <cstring>

namespace {

std::string SlotText(const char* record, std::size_t offset, std::size_t width) {
    const char* slot = record + offset;
    const void* nul = std::memchr(slot, '\0', width);
    const std::size_t length =
        nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - slot) : width;
    return std::string(slot, length);
}

} // namespace

FeatureRecord ReadFeatureRecord(const char* record) {
    return {SlotText(record, kFeatureNameOffset, kFeatureNameWidth),
            SlotText(record, kHardwareIdOffset, kHardwareIdWidth),
            SlotText(record, kManufacturerOffset, kManufacturerWidth)};
}

bool IsEndRecord(const char* record) {
    return record[kFeatureNameOffset] == '\0';
}

bool PassesFilter(const std::string& hardwareId) {
    for (const char* word : {"ERROR", "UNKNOWN", "FEATURE_SET_DETECTED"}) {
        if (hardwareId.find(word) != std::string::npos) {
            return false;
        }
    }
    return true;
}

std::string FeatureLine(const FeatureRecord& record) {
    std::string line = record.featureName + ":\t";
    if (!record.hardwareId.empty()) {
        line += record.hardwareId + ":\t";
    }
    if (!record.manufacturer.empty()) {
        line += record.manufacturer + ":";
    }
    return line;
}
