// The hardware feature report printed in the console mode.
#pragma once

// Loads "ZeTool.dll", or "ZeToolSim.dll" when the first does not load, and prints the feature table
// it exports as KnownObjList on the console. Returns false, having printed nothing, when neither
// library loads, the loaded one has no such table, or the table lies in no loaded image. The table
// ends at its first record with an empty name or, when the image that holds it (the library's, or
// that of the module the export is forwarded to) has none, at the last whole record inside that
// image. The library is never unloaded.
bool DumpHardwareInfo();
