// The hardware feature report printed in the console mode.
#pragma once

// Loads "ZeTool.dll", or "ZeToolSim.dll" when the first does not load, and prints the feature table
// it exports as KnownObjList on the console. Returns false, having printed nothing, when neither
// library loads or the loaded one has no such table. The table ends at its first record with an
// empty name or, when the library's image holds none, at the last whole record inside the image.
// The library is never unloaded.
bool DumpHardwareInfo();
