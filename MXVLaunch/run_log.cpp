// Opening, writing and closing the run log, and the layout of its entries.
#include "MXVLaunch/run_log.h"

#include <cstdio>
#include <vector>

#include "platform/host.h"

std::string logFilePath;

namespace {

constexpr unsigned kDirectoryBufferSize = 256;
const char kLogFolderAndName[] = "\\Temp\\debug.log";

// The Windows directory, asked for with a 256-byte buffer. A longer directory is asked for again
// with the size the system names, so the path is never cut and nothing is written past a buffer.
// Empty when the system does not answer.
std::string WindowsDirectory() {
    platform::Host& host = platform::host();
    std::vector<char> buffer(kDirectoryBufferSize);
    unsigned length = host.WindowsDirectory(buffer.data(), kDirectoryBufferSize);
    if (length >= buffer.size()) {
        buffer.resize(length);
        length = host.WindowsDirectory(buffer.data(), static_cast<unsigned>(buffer.size()));
        if (length >= buffer.size()) {
            return std::string();
        }
    }
    return std::string(buffer.data(), length);
}

} // namespace

bool OpenRunLog(RunLogStream& stream) {
    try {
        const std::string directory = WindowsDirectory();
        logFilePath = directory + kLogFolderAndName;
        if (!directory.empty()) {
            stream.Open(logFilePath);
        } else {
            stream.SetFailed();
        }
        if (stream.Failed()) {
            platform::host().WriteStandardOutput("couldn't open log file\n");
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool WriteLogEntry(RunLogStream& stream, const std::string& message) {
    try {
        if (stream.Failed()) {
            return true;
        }
        // The whole line in one append: nothing of it waits in a buffer, and no other run's entry
        // can land inside it or on top of it.
        stream.Append(FormatLogEntry(platform::host().LocalTime(), message));
        return true;
    } catch (...) {
        return false;
    }
}

bool CloseRunLog(RunLogStream& stream) {
    try {
        stream.Close();
        return true;
    } catch (...) {
        return false;
    }
}

std::string CtimeText(const std::tm& time) {
    static const char kDays[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const char* day = time.tm_wday >= 0 && time.tm_wday < 7 ? kDays[time.tm_wday] : "???";
    const char* month = time.tm_mon >= 0 && time.tm_mon < 12 ? kMonths[time.tm_mon] : "???";
    // The year is computed in a wider type: 1900 + tm_year does not fit an int for the largest
    // tm_year. It is written by std::to_string, as Windows 2000's C library formats no long long.
    // The buffer holds the longest text that any struct tm gives for the other fields.
    const long long year = 1900LL + time.tm_year;
    char text[96];
    std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d ", day, month, time.tm_mday,
                  time.tm_hour, time.tm_min, time.tm_sec);
    return text + std::to_string(year);
}

std::string FormatLogEntry(const std::tm& time, const std::string& message) {
    return "[ " + CtimeText(time) + " ]\tENTRY: " + message +
           "\tMODULE: MINI-LAUNCH\tLINE: 282\tFILE: "
           "c:\\cvs_mxv\\DVT\\SNQVV2\\SRC\\MXVLaunch\\main\n";
}

// The calendar's fields go into a struct tm as they stand, with no count of seconds in between, so
// every year that the calendar gives keeps its value.
std::string FormatLogEntry(const platform::SystemTime& time, const std::string& message) {
    std::tm fields{};
    fields.tm_year = time.year - 1900;
    fields.tm_mon = time.month - 1;
    fields.tm_mday = time.day;
    fields.tm_wday = time.dayOfWeek;
    fields.tm_hour = time.hour;
    fields.tm_min = time.minute;
    fields.tm_sec = time.second;
    return FormatLogEntry(fields, message);
}
