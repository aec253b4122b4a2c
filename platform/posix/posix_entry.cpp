// The POSIX entry point of the launcher: joins the arguments with blanks into the command-line text
// that Windows would pass, and hands it to the launcher's entry.
#include <string>

#include "MXVLaunch/entry.h"

int main(int argc, char** argv) {
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            commandLine += ' ';
        }
        commandLine += argv[i];
    }
    return launcher::WinMain(nullptr, nullptr, commandLine.data(), 1);
}
