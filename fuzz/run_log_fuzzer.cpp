// Fuzz target of the run-log formatter: FormatLogEntry and CtimeText on arbitrary struct tm values
// and messages. The entry must be "[ ", the timestamp, " ]", a tab, "ENTRY: ", the message as
// given, then the tab-separated module, line and file fields and one newline. The timestamp never
// holds a newline; for in-range fields it is exactly the 24 characters of the ctime layout, with
// the day and month names, the day of month right-aligned in two characters and the year in full.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "MXVLaunch/run_log.h"

namespace {

void Fail(const char* what, const std::string& text) {
    std::fprintf(stderr, "oracle: %s: \"%s\"\n", what, text.c_str());
    std::abort();
}

// A value in the field's range most of the time, else any int.
int FieldValue(FuzzedDataProvider& input, int low, int high) {
    return input.ConsumeIntegralInRange<int>(0, 3) != 0
               ? input.ConsumeIntegralInRange<int>(low, high)
               : input.ConsumeIntegral<int>();
}

std::string TwoDigits(int value) {
    char text[3] = {static_cast<char>('0' + value / 10), static_cast<char>('0' + value % 10), 0};
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    std::tm time{};
    time.tm_wday = FieldValue(input, 0, 6);
    time.tm_mon = FieldValue(input, 0, 11);
    time.tm_mday = FieldValue(input, 1, 31);
    time.tm_hour = FieldValue(input, 0, 23);
    time.tm_min = FieldValue(input, 0, 59);
    time.tm_sec = FieldValue(input, 0, 60);
    // Four-digit years most of the time.
    time.tm_year = FieldValue(input, 1000 - 1900, 9999 - 1900);
    time.tm_isdst = input.ConsumeIntegral<int>();
    const std::string message = input.ConsumeRemainingBytesAsString();

    const std::string stamp = CtimeText(time);
    if (stamp.find('\n') != std::string::npos) {
        Fail("a newline in the timestamp", stamp);
    }
    // The year is the last field, in full, whatever tm_year holds.
    const std::string year = std::to_string(1900LL + time.tm_year);
    if (stamp.size() < year.size() + 1 ||
        stamp.compare(stamp.size() - year.size() - 1, std::string::npos, " " + year) != 0) {
        Fail("the year is not the last field", stamp);
    }
    const bool inRange = time.tm_wday >= 0 && time.tm_wday <= 6 && time.tm_mon >= 0 &&
                         time.tm_mon <= 11 && time.tm_mday >= 1 && time.tm_mday <= 31 &&
                         time.tm_hour >= 0 && time.tm_hour <= 23 && time.tm_min >= 0 &&
                         time.tm_min <= 59 && time.tm_sec >= 0 && time.tm_sec <= 60 &&
                         time.tm_year >= 1000 - 1900 && time.tm_year <= 9999 - 1900;
    if (inRange) {
        static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
        static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        const std::string day =
            time.tm_mday < 10 ? " " + std::to_string(time.tm_mday) : std::to_string(time.tm_mday);
        const std::string expected = std::string(kDays[time.tm_wday]) + " " + kMonths[time.tm_mon] +
                                     " " + day + " " + TwoDigits(time.tm_hour) + ":" +
                                     TwoDigits(time.tm_min) + ":" + TwoDigits(time.tm_sec) + " " +
                                     year;
        if (stamp.size() != 24 || stamp != expected) {
            Fail("the timestamp does not follow the ctime layout", stamp);
        }
    }

    const std::string entry = FormatLogEntry(time, message);
    const std::string expected = "[ " + stamp + " ]\tENTRY: " + message +
                                 "\tMODULE: MINI-LAUNCH\tLINE: 282\tFILE: "
                                 "c:\\cvs_mxv\\DVT\\SNQVV2\\SRC\\MXVLaunch\\main\n";
    if (entry != expected) {
        Fail("the entry's fields, brackets or separators are wrong", entry);
    }
    return 0;
}
