// A struct tm made from a calendar date and a clock time, for the tests of the run log's timestamp.
#pragma once

#include <ctime>

namespace testing_support {

// The year in full (2025), the month from 1, the weekday from 0 (Sunday).
inline std::tm Time(int year, int month, int day, int weekday, int hour, int minute, int second) {
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_wday = weekday;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    return time;
}

} // namespace testing_support
