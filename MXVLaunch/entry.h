// The launcher's entry: run log, Launch object, switches, console modes and launch sequence.
#pragma once

#include "platform/host.h"

namespace launcher {

// The program's entry, called by the platform's own entry point with the command-line text (without
// the program name). Returns the exit code: 1 after success and after a failed launch step, 0 when
// the run log or the Launch object failed.
int WinMain(platform::Handle instance, platform::Handle previousInstance, char* commandLine,
            int showCommand);

} // namespace launcher
