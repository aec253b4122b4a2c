// The hardware feature report printed in the console mode.
#pragma once

// Prints the probe library's feature table on the console. Returns false, having printed nothing,
// when the table cannot be reached.
bool DumpHardwareInfo();
