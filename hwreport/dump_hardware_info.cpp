// The hardware feature report.
//
// PROVISIONAL: the probe library is not loaded yet, so the table is never reached and the caller
// reports that.
#include "hwreport/dump_hardware_info.h"

bool DumpHardwareInfo() {
    return false;
}
