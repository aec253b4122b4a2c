// The Windows entry point of the launcher: hands the command-line text to the launcher's entry.
#include <windows.h>

#include "MXVLaunch/entry.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand) {
    return launcher::WinMain(instance, previousInstance, commandLine, showCommand);
}
