// The hardware feature report: loads the probe library, finds its feature table and prints one line
// for each record that passes the filter, between a header and a trailer.
#include "hwreport/dump_hardware_info.h"

#include <cstddef>
#include <string>

#include "hwreport/feature_record.h"
#include "platform/host.h"

namespace {

void Print(const std::string& line) {
    platform::host().ConsoleWrite(line + "\n");
}

} // namespace

bool DumpHardwareInfo() {
    platform::Host& host = platform::host();
    // The fallback library is tried only when the first does not load, not when it lacks the table.
    platform::Handle library = host.LoadLibraryByName("ZeTool.dll");
    if (library == nullptr) {
        library = host.LoadLibraryByName("ZeToolSim.dll");
    }
    if (library == nullptr) {
        return false;
    }
    const auto* table = static_cast<const char*>(host.FindExport(library, "KnownObjList"));
    // An export that lies in no loaded image cannot be read safely at all, so it counts as missing.
    // One that the library forwards lies in another module's image, which bounds it instead.
    const std::size_t imageBytes = table != nullptr ? host.ImageBytesFrom(table) : 0;
    if (imageBytes == 0) {
        return false;
    }

    // The table ends at its end record, or at the last whole record inside the image when a faulty
    // library has no end record there: nothing past the image is ever read.
    const std::size_t recordsInImage = imageBytes / kFeatureRecordSize;

    Print("\n\n -- Feature Name:\tHardware ID String:\tManufacturer String: -- \n\n");
    for (std::size_t n = 0; n < recordsInImage; ++n) {
        const char* record = table + n * kFeatureRecordSize;
        if (IsEndRecord(record)) {
            break;
        }
        const FeatureRecord feature = ReadFeatureRecord(record);
        if (PassesFilter(feature.hardwareId)) {
            Print(FeatureLine(feature));
        }
    }
    Print("\n\n");
    return true;
}
