// The probe library's feature records: their 375-byte layout, the filter that leaves records out,
// and the line printed for a record.
#pragma once

#include <cstddef>
#include <string>

constexpr std::size_t kFeatureRecordSize = 375;
constexpr std::size_t kFeatureNameOffset = 0;
constexpr std::size_t kFeatureNameWidth = 75;
constexpr std::size_t kHardwareIdOffset = 75;
constexpr std::size_t kHardwareIdWidth = 100;
constexpr std::size_t kManufacturerOffset = 175;
constexpr std::size_t kManufacturerWidth = 200;

// The three texts of one record.
struct FeatureRecord {
    std::string featureName;
    std::string hardwareId;
    std::string manufacturer;
};

// Reads the record that starts at record. Each field ends at its first NUL or, when its slot holds
// none, at the end of its slot: nothing outside the record's slots is read.
FeatureRecord ReadFeatureRecord(const char* record);

// Whether the record at record ends the table: its name is empty.
bool IsEndRecord(const char* record);

// Whether a record with this hardware ID is printed: it holds none of the words "ERROR", "UNKNOWN"
// and "FEATURE_SET_DETECTED" in capitals.
bool PassesFilter(const std::string& hardwareId);

// The printed line, without its line end: each field followed by its separator, an empty hardware
// ID or manufacturer left out with its own.
std::string FeatureLine(const FeatureRecord& record);
