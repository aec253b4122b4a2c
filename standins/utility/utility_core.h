// The stand-in utility's behaviour that is the same on every platform: reading its knobs from the
// environment, formatting the report, parsing the hold command line, and the run sequence itself,
// which reaches the operating system only through the small System interface below.
//
// The knobs are environment variables; an unset or empty variable counts as not given.
//   NQVQLAR_REPORT        Path of the report file. Without it no report is written.
//   NQVQLAR_EXIT_CODE     The process exit code: a decimal number, or hexadecimal after "0x", from
//   0
//                         to 4294967295. Default 0. On POSIX systems only the low 8 bits reach the
//                         parent.
//   NQVQLAR_STARTED       Path of a marker file, created empty once the report is written.
//   NQVQLAR_WAIT_FOR      Path of a file to wait for before exiting: it is polled every 50 ms for
//                         at most 120 s. The report and the marker are written before the wait.
//   NQVQLAR_HOLD_FILE     Name of a file in the utility's own directory to keep open without delete
//   NQVQLAR_HOLD_SECONDS  sharing from the start until this many seconds (1 to 3600) after the
//                         utility has exited. Both are needed. The file is opened at the start;
//                         just before exiting, the utility starts a helper that inherits the open
//                         file and sleeps, and then exits without waiting for it.
// A knob value that cannot be used is ignored and named on a "warning=" line of the report.
//
// The report is plain text, one "key=value" line each, ending in a newline (LF, also on Windows):
//   nqvqlar-report=1                  the format version, always the first line
//   cwd=DIR                           the current directory
//   cmdline=[TEXT]                    the command-line text the program was given: on Windows the
//                                     text WinMain receives, on POSIX argv[1..] joined by blanks
//   fullcmdline=[TEXT]                the whole command line: on Windows GetCommandLineA, on POSIX
//                                     argv[0..] joined by blanks
//   exe=PATH                          the utility's own executable
//   file=NAME size=N                  one line per regular file in the current directory, listed
//                                     through its text as the program got it, in byte order of
//                                     the names; N is the size in bytes
//   dir=NAME                          one line per subdirectory there, in byte order of the names
//   warning=TEXT                      one line per knob that could not be used, and per listing or
//                                     hold failure
//   end                               always the last line; a report without it is incomplete
// In every value, a byte below 0x20, the byte 0x7F and "%" itself are written as "%" and two
// upper-case hexadecimal digits, so that each value stays on its line and can be decoded.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace standin {

// How long the utility waits for NQVQLAR_WAIT_FOR, and how often it looks.
constexpr std::uint32_t kWaitPollMilliseconds = 50;
constexpr std::uint32_t kWaitLimitMilliseconds = 120000;
// The longest hold accepted, in seconds.
constexpr std::uint32_t kMaxHoldSeconds = 3600;

// The settings read from the environment, and the complaints about values that could not be used.
struct Knobs {
    std::string reportPath;
    std::uint32_t exitCode = 0;
    std::string startedPath;
    std::string waitForPath;
    std::string holdFile;
    std::uint32_t holdSeconds = 0;
    std::vector<std::string> warnings;

    // True when both hold knobs were given and usable.
    bool HoldRequested() const { return !holdFile.empty() && holdSeconds > 0; }
};

// Looks up one environment variable. Returns true and sets value when it is set, false otherwise.
using EnvironmentLookup = std::function<bool(const std::string& name, std::string& value)>;

// Reads every knob through lookup. Never fails: unusable values leave the default and add a
// warning.
Knobs ParseKnobs(const EnvironmentLookup& lookup);

// One entry of a directory listing.
struct DirectoryEntry {
    std::string name;
    bool isDirectory = false;
    std::uint64_t size = 0;
};

// What the utility saw, in the form the report presents it.
struct Observation {
    std::string currentDirectory;
    std::string commandLine;
    std::string fullCommandLine;
    std::string executablePath;
    std::vector<DirectoryEntry> entries;
    std::vector<std::string> warnings;
};

// Formats the report described at the top of this file. Entries may come in any order; the report
// lists files first and directories after them, each group in byte order of the names.
std::string FormatReport(const Observation& observation);

// Escapes one value for a report line: bytes below 0x20, 0x7F and "%" become "%XX".
std::string EscapeValue(const std::string& value);

// Recognises the helper's command line, "--hold N" with N from 1 to kMaxHoldSeconds, surrounded by
// any blanks. Returns true and sets seconds when commandLine is exactly that.
bool ParseHoldCommand(const std::string& commandLine, std::uint32_t& seconds);

// Returns the directory part of a path, without the trailing separator; both "/" and "\" count as
// separators. A path without a separator yields ".", and a file in the root yields the root itself
// ("/" or "C:\").
std::string DirectoryOf(const std::string& path);

// The operating-system services the run sequence needs. Paths are in the platform's own form.
class System {
public:
    virtual ~System() = default;

    // Returns true and sets value when the variable is set (also to the empty text).
    virtual bool GetEnvironment(const std::string& name, std::string& value) = 0;
    // Returns the current directory, or the empty text when it cannot be had.
    virtual std::string CurrentDirectory() = 0;
    // Returns the full path of the running executable, or the empty text when it cannot be had.
    virtual std::string ExecutablePath() = 0;
    // The separator the platform prefers when joining a directory and a name.
    virtual char PathSeparator() = 0;
    // Lists the regular files and subdirectories of dir, without "." and "..", in any order.
    // Returns false when the directory cannot be read.
    virtual bool ListDirectory(const std::string& dir, std::vector<DirectoryEntry>& entries) = 0;
    // Creates or truncates the file and writes bytes to it. Returns false when any step fails.
    virtual bool WriteWholeFile(const std::string& path, const std::string& bytes) = 0;
    // Returns true when something exists at path.
    virtual bool Exists(const std::string& path) = 0;
    // Pauses the process.
    virtual void SleepMilliseconds(std::uint32_t milliseconds) = 0;
    // A millisecond clock that only moves forward, apart from wrapping around at 2^32.
    virtual std::uint32_t TickMilliseconds() = 0;
    // Opens the file so that it cannot be deleted and keeps it open, ready to be handed to the
    // helper. Returns false and sets error when it cannot be opened.
    virtual bool OpenHeldFile(const std::string& path, std::string& error) = 0;
    // Starts the helper that keeps the file from OpenHeldFile open for the given number of seconds,
    // and gives up the utility's own reference to it. Returns false and sets error when the helper
    // cannot be started.
    virtual bool StartHolder(std::uint32_t seconds, std::string& error) = 0;
    // Writes a line of diagnostics to standard error.
    virtual void WriteError(const std::string& text) = 0;
};

// Runs the utility: reads the knobs, observes, writes the report and the marker, waits, hands the
// held file to the helper, and returns the exit code to end the process with. Problems after the
// report is written go to standard error and do not change the exit code.
std::uint32_t RunUtility(System& system, const std::string& commandLine,
                         const std::string& fullCommandLine);

} // namespace standin
