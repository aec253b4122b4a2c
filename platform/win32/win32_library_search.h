// The library search of the launcher's process on Windows: made safe first thing at start-up, and
// the one library that the launcher loads on purpose from outside the system, found beside it.
#pragma once

#include <windows.h>

#include <string>

namespace platform {

// Keeps every library that the system loads by bare name into the process from being taken from
// the launcher's own folder or its current folder, where anyone who saved a file there could have
// planted one under a system library's name. Where the system can restrict the search to its own
// folder (SetDefaultDllDirectories), it does so; elsewhere it loads, by full path from the system
// folder, each library that the system loads later by bare name into a windowed program, since a
// library already loaded is not searched for again. Where the system can drop the current folder
// from the search (SetDllDirectoryW), it does so too. Call it before anything can load a library.
void SecureLibrarySearch();

// Loads a library given by bare file name from the launcher's own folder, and when it is not there,
// through the system's search as SecureLibrarySearch left it. Returns null when neither loads it.
HMODULE LoadBesideProgram(const std::string& name);

} // namespace platform
