// The probe library's feature records: their layout, the filter that leaves records out,
// and the line printed for a record.
#pragma once

#include <cstddef>
#include <string>

#include "hwreport/feature_record_layout.h"

// The record layout of feature_record_layout.h, under the names the C++ code uses.
constexpr std::size_t kFeatureRecordSize = MXV_FEATURE_RECORD_SIZE;
constexpr std::size_t kFeatureNameOffset = MXV_FEATURE_NAME_OFFSET;
constexpr std::size_t kFeatureNameWidth = MXV_FEATURE_NAME_WIDTH;
constexpr std::size_t kHardwareIdOffset = MXV_HARDWARE_ID_OFFSET;
constexpr std::size_t kHardwareIdWidth = MXV_HARDWARE_ID_WIDTH;
constexpr std::size_t kManufacturerOffset = MXV_MANUFACTURER_OFFSET;
constexpr std::size_t kManufacturerWidth = MXV_MANUFACTURER_WIDTH;

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
