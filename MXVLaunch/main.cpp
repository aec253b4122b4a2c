// The launcher's entry: secures the library search, opens the run log, creates the Launch object,
// reads the switches, runs the console modes or the launch sequence, and ends with one run-log
// entry.
#include <memory>
#include <new>
#include <string>

#include "MXVLaunch/entry.h"
#include "MXVLaunch/mini_launch.h"
#include "MXVLaunch/run_log.h"
#include "hwreport/dump_hardware_info.h"

namespace launcher {
namespace {

const std::string kRule(43, '=');

void Print(const std::string& line) {
    platform::host().ConsoleWrite(line + "\n");
}

void PrintLine(const std::string& line) {
    platform::host().WriteStandardOutput(line + "\n");
}

// Shows the prompt, waits for one key and detaches from the console.
void PromptAndRelease() {
    platform::Host& host = platform::host();
    Print("Press any key to exit ... ");
    char key = 0;
    host.ConsoleReadKey(key);
    host.FreeConsole();
}

// The console modes. Returns whether the console is still attached, which it is after the two early
// exits; the common tail then prompts and releases it.
bool RunConsoleModes(Launch& launch, bool dumpBinaries, bool showHardware) {
    platform::host().AllocConsole();
    if (dumpBinaries) {
        Print(kRule);
        Print("=============== BINARY DUMP ===============");
        Print(kRule);
        if (!launch.ExtractBinaries(true)) {
            Print("Failed to extract binaries!");
            return true;
        }
        Print(kRule);
        Print(kRule);
    }
    if (showHardware) {
        if (!dumpBinaries) {
            Print("Must dump binaries (/b) before viewing hardware information");
            return true;
        }
        Print("\n\n");
        Print(kRule);
        Print("============ HARDWARE INFO DUMP ===========");
        Print(kRule);
        if (!DumpHardwareInfo()) {
            Print("Failed to extract hardware test information");
        }
        Print(kRule);
        Print(kRule);
    }
    PromptAndRelease();
    return false;
}

const char kSystemNotReady[] = "System is not ready to launch verification utility";

// The five launch steps in order. Returns the message of the first that fails, or nothing.
const char* RunLaunchSequence(Launch& launch) {
    if (!launch.CheckSystem()) {
        return kSystemNotReady;
    }
    if (!launch.CreateExecutionDirectory()) {
        return "Failed to create verification utility execution directory";
    }
    if (!launch.ExtractBinaries(false)) {
        return "Failed to extract verification utility binaries";
    }
    if (!launch.StartTool()) {
        return "Verification utility encountered problems during execution";
    }
    if (!launch.RemoveExecutionDirectory()) {
        return "Failed to remove verification utility execution directory";
    }
    return nullptr;
}

} // namespace

int WinMain(platform::Handle, platform::Handle, char* commandLine, int) {
    // Before the log opens and before anything can load a library.
    platform::host().SecureLibrarySearch();
    const std::string commandText = commandLine != nullptr ? commandLine : "";
    RunLogStream logStream;
    if (!OpenRunLog(logStream)) {
        PrintLine("Failed to open log file");
        return 0;
    }

    // The object is destroyed on every return, so that nothing is left to the end of the process;
    // its mutex stays held until then all the same.
    std::unique_ptr<Launch> launch(new (std::nothrow) MiniLaunch);
    if (!launch) {
        WriteLogEntry(logStream, "Failed to create Launch object");
        return 0;
    }

    const bool dumpBinaries = commandText.find("/b") != std::string::npos;
    const bool showHardware = commandText.find("/h") != std::string::npos;
    bool consoleAttached = false;
    if (dumpBinaries || showHardware) {
        consoleAttached = RunConsoleModes(*launch, dumpBinaries, showHardware);
    } else {
        const std::string failureNotice =
            "The application is about to shutdown due to an unrecoverable error. Please find a "
            "copy of the log file at " +
            logFilePath + " and contact Vardex for support.";
        if (const char* failure = RunLaunchSequence(*launch)) {
            WriteLogEntry(logStream, failure);
            // Only the system check's notice depends on the flag; it is always set.
            if (failure != kSystemNotReady || launch->reportFailures) {
                PrintLine(failureNotice);
            }
            return 1;
        }
    }

    // Only the console modes' early exits leave a console attached; launch mode never touches one.
    if (consoleAttached) {
        PromptAndRelease();
    }
    launch.reset();
    WriteLogEntry(logStream, "Successfully ran verification utility");
    if (!CloseRunLog(logStream)) {
        PrintLine("Failed to close log file");
        return 0;
    }
    return 1;
}

} // namespace launcher
