/* The layout of one record of the probe library's table KnownObjList, in one place for the
 * launcher's reader, the probe library ZeToolSim.dll and the test fixtures: three 8-bit strings in
 * fixed slots, 375 bytes a record, no gap between records. The header is valid C and C++. */
#ifndef MXV_HWREPORT_FEATURE_RECORD_LAYOUT_H
#define MXV_HWREPORT_FEATURE_RECORD_LAYOUT_H

/* In C, assert.h names the static assertion static_assert; in C++ it is a keyword. */
#include <assert.h>
#include <stddef.h>

/* Where each field's slot starts within the record, and how many bytes it has. Each field is a
 * string that ends with a NUL inside its slot. */
#define MXV_FEATURE_NAME_OFFSET 0
#define MXV_FEATURE_NAME_WIDTH 75
#define MXV_HARDWARE_ID_OFFSET 75
#define MXV_HARDWARE_ID_WIDTH 100
#define MXV_MANUFACTURER_OFFSET 175
#define MXV_MANUFACTURER_WIDTH 200

/* The size of one record; record n begins n times this many bytes after the first. */
#define MXV_FEATURE_RECORD_SIZE 375

/* One record of KnownObjList. The table ends with a record whose FeatureName is empty. */
struct KnownObjRecord {
    char FeatureName[MXV_FEATURE_NAME_WIDTH];
    char HardwareId[MXV_HARDWARE_ID_WIDTH];
    char Manufacturer[MXV_MANUFACTURER_WIDTH];
};

static_assert(sizeof(struct KnownObjRecord) == MXV_FEATURE_RECORD_SIZE,
              "a record is its three slots with no padding");
static_assert(offsetof(struct KnownObjRecord, FeatureName) == MXV_FEATURE_NAME_OFFSET,
              "FeatureName starts the record");
static_assert(offsetof(struct KnownObjRecord, HardwareId) == MXV_HARDWARE_ID_OFFSET,
              "HardwareId follows FeatureName");
static_assert(offsetof(struct KnownObjRecord, Manufacturer) == MXV_MANUFACTURER_OFFSET,
              "Manufacturer follows HardwareId");
static_assert(MXV_MANUFACTURER_OFFSET + MXV_MANUFACTURER_WIDTH == MXV_FEATURE_RECORD_SIZE,
              "Manufacturer ends the record");

#endif
