// The stand-in utility's platform-independent part: knob parsing, report formatting, the hold
// command line, and the run sequence over the System interface.
#include "standins/utility/utility_core.h"

#include <algorithm>
#include <cstddef>

namespace standin {
namespace {

// Reads a variable that counts as given only when it is set and not empty.
bool Given(const EnvironmentLookup& lookup, const char* name, std::string& value) {
    std::string found;
    if (!lookup(name, found) || found.empty()) {
        return false;
    }
    value = found;
    return true;
}

bool IsDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexDigitValue(char c) {
    if (IsDecimalDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Parses digits in the given base into a value no larger than limit. Returns false for an empty
// text, any other character, or a value beyond limit.
bool ParseDigits(const std::string& text, std::size_t start, unsigned base, std::uint64_t limit,
                 std::uint32_t& result) {
    if (start >= text.size()) {
        return false;
    }
    std::uint64_t value = 0;
    for (std::size_t i = start; i < text.size(); ++i) {
        const int digit = HexDigitValue(text[i]);
        if (digit < 0 || static_cast<unsigned>(digit) >= base) {
            return false;
        }
        value = value * base + static_cast<unsigned>(digit);
        // Checking after every digit keeps the value far from overflowing 64 bits.
        if (value > limit) {
            return false;
        }
    }
    result = static_cast<std::uint32_t>(value);
    return true;
}

// Parses a decimal number, or a hexadecimal one after "0x" or "0X", from 0 to limit.
bool ParseNumber(const std::string& text, std::uint64_t limit, bool allowHex,
                 std::uint32_t& result) {
    if (allowHex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return ParseDigits(text, 2, 16, limit, result);
    }
    return ParseDigits(text, 0, 10, limit, result);
}

// A plain name names a file in one directory: no separator, and not a directory reference.
bool IsPlainName(const std::string& name) {
    return name.find_first_of("/\\") == std::string::npos && name != "." && name != "..";
}

void AppendLine(std::string& out, const char* key, const std::string& value) {
    out += key;
    out += '=';
    out += EscapeValue(value);
    out += '\n';
}

bool ByName(const DirectoryEntry& a, const DirectoryEntry& b) {
    return a.name < b.name;
}

} // namespace

Knobs ParseKnobs(const EnvironmentLookup& lookup) {
    Knobs knobs;
    Given(lookup, "NQVQLAR_REPORT", knobs.reportPath);
    Given(lookup, "NQVQLAR_STARTED", knobs.startedPath);
    Given(lookup, "NQVQLAR_WAIT_FOR", knobs.waitForPath);

    std::string exitText;
    if (Given(lookup, "NQVQLAR_EXIT_CODE", exitText) &&
        !ParseNumber(exitText, 0xFFFFFFFFu, true, knobs.exitCode)) {
        knobs.exitCode = 0;
        knobs.warnings.push_back("NQVQLAR_EXIT_CODE=" + exitText +
                                 " is not a number from 0 to 4294967295; using 0");
    }

    std::string holdFile;
    std::uint32_t holdSeconds = 0;
    const bool haveFile = Given(lookup, "NQVQLAR_HOLD_FILE", holdFile);
    std::string secondsText;
    const bool haveSeconds = Given(lookup, "NQVQLAR_HOLD_SECONDS", secondsText);
    bool usable = haveFile && haveSeconds;
    if (haveFile && !IsPlainName(holdFile)) {
        knobs.warnings.push_back("NQVQLAR_HOLD_FILE=" + holdFile +
                                 " is not a plain file name; holding nothing");
        usable = false;
    }
    if (haveSeconds &&
        (!ParseNumber(secondsText, kMaxHoldSeconds, false, holdSeconds) || holdSeconds == 0)) {
        knobs.warnings.push_back("NQVQLAR_HOLD_SECONDS=" + secondsText +
                                 " is not a number from 1 to " + std::to_string(kMaxHoldSeconds) +
                                 "; holding nothing");
        usable = false;
    }
    if (haveFile != haveSeconds) {
        knobs.warnings.push_back(
            "NQVQLAR_HOLD_FILE and NQVQLAR_HOLD_SECONDS work only together; holding nothing");
    }
    if (usable) {
        knobs.holdFile = holdFile;
        knobs.holdSeconds = holdSeconds;
    }
    return knobs;
}

std::string EscapeValue(const std::string& value) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '%') {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

std::string FormatReport(const Observation& observation) {
    std::vector<DirectoryEntry> files;
    std::vector<DirectoryEntry> dirs;
    for (const DirectoryEntry& entry : observation.entries) {
        (entry.isDirectory ? dirs : files).push_back(entry);
    }
    std::sort(files.begin(), files.end(), ByName);
    std::sort(dirs.begin(), dirs.end(), ByName);

    std::string out = "nqvqlar-report=1\n";
    AppendLine(out, "cwd", observation.currentDirectory);
    AppendLine(out, "cmdline", "[" + observation.commandLine + "]");
    AppendLine(out, "fullcmdline", "[" + observation.fullCommandLine + "]");
    AppendLine(out, "exe", observation.executablePath);
    for (const DirectoryEntry& file : files) {
        AppendLine(out, "file", file.name + " size=" + std::to_string(file.size));
    }
    for (const DirectoryEntry& dir : dirs) {
        AppendLine(out, "dir", dir.name);
    }
    for (const std::string& warning : observation.warnings) {
        AppendLine(out, "warning", warning);
    }
    out += "end\n";
    return out;
}

bool ParseHoldCommand(const std::string& commandLine, std::uint32_t& seconds) {
    const std::string kSwitch = "--hold";
    const std::size_t begin = commandLine.find_first_not_of(" \t");
    if (begin == std::string::npos || commandLine.compare(begin, kSwitch.size(), kSwitch) != 0) {
        return false;
    }
    const std::size_t afterSwitch = begin + kSwitch.size();
    const std::size_t numberBegin = commandLine.find_first_not_of(" \t", afterSwitch);
    if (numberBegin == afterSwitch || numberBegin == std::string::npos) {
        return false;
    }
    std::size_t numberEnd = commandLine.find_first_of(" \t", numberBegin);
    if (numberEnd == std::string::npos) {
        numberEnd = commandLine.size();
    }
    if (commandLine.find_first_not_of(" \t", numberEnd) != std::string::npos) {
        return false;
    }
    std::uint32_t value = 0;
    if (!ParseNumber(commandLine.substr(numberBegin, numberEnd - numberBegin), kMaxHoldSeconds,
                     false, value) ||
        value == 0) {
        return false;
    }
    seconds = value;
    return true;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t last = path.find_last_of("/\\");
    if (last == std::string::npos) {
        return ".";
    }
    // A file in a root directory keeps the root's separator: "/" and "C:\" are directories, while
    // "" and "C:" are not the same thing.
    if (last == 0 || (last == 2 && path[1] == ':')) {
        return path.substr(0, last + 1);
    }
    return path.substr(0, last);
}

std::uint32_t RunUtility(System& system, const std::string& commandLine,
                         const std::string& fullCommandLine) {
    const Knobs knobs = ParseKnobs([&system](const std::string& name, std::string& value) {
        return system.GetEnvironment(name, value);
    });

    Observation observation;
    observation.currentDirectory = system.CurrentDirectory();
    observation.commandLine = commandLine;
    observation.fullCommandLine = fullCommandLine;
    observation.executablePath = system.ExecutablePath();
    observation.warnings = knobs.warnings;
    // The listing goes through the current directory's text as the program got it, the way the
    // utility finds its own files: a path that the program cannot use shows as a failed listing.
    if (!system.ListDirectory(observation.currentDirectory, observation.entries)) {
        observation.entries.clear();
        observation.warnings.push_back("cannot list " + observation.currentDirectory);
    }
    const std::string ownDirectory = DirectoryOf(observation.executablePath);

    // The file is opened before the report is written, so that a failure shows in the report.
    bool holding = false;
    if (knobs.HoldRequested()) {
        std::string error;
        const std::string path = ownDirectory + system.PathSeparator() + knobs.holdFile;
        holding = system.OpenHeldFile(path, error);
        if (!holding) {
            observation.warnings.push_back("cannot hold " + path + ": " + error);
        }
    }

    if (!knobs.reportPath.empty() &&
        !system.WriteWholeFile(knobs.reportPath, FormatReport(observation))) {
        system.WriteError("NQVQlar: cannot write the report " + knobs.reportPath);
    }
    if (!knobs.startedPath.empty() && !system.WriteWholeFile(knobs.startedPath, std::string())) {
        system.WriteError("NQVQlar: cannot create the marker " + knobs.startedPath);
    }

    if (!knobs.waitForPath.empty()) {
        const std::uint32_t start = system.TickMilliseconds();
        while (!system.Exists(knobs.waitForPath)) {
            // Unsigned subtraction gives the right elapsed time also across the clock's wrap.
            if (system.TickMilliseconds() - start >= kWaitLimitMilliseconds) {
                system.WriteError("NQVQlar: gave up waiting for " + knobs.waitForPath);
                break;
            }
            system.SleepMilliseconds(kWaitPollMilliseconds);
        }
    }

    if (holding) {
        std::string error;
        if (!system.StartHolder(knobs.holdSeconds, error)) {
            system.WriteError("NQVQlar: cannot start the holder: " + error);
        }
    }
    return knobs.exitCode;
}

} // namespace standin
