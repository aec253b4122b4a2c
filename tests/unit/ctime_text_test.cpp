// Tests of the run log's timestamp text: the ctime layout for ordinary dates, and every struct tm,
// however far out of range its fields are, formatted without overflow.
#include <gtest/gtest.h>

#include <climits>
#include <ctime>
#include <string>

#include "MXVLaunch/run_log.h"
#include "tests/support/calendar_time.h"

using testing_support::Time;

TEST(CtimeText, OrdinaryDatesKeepTheTwentyFourCharacterLayout) {
    // A day below 10 gets a blank, the clock always two digits.
    EXPECT_EQ(CtimeText(Time(2025, 3, 5, 3, 9, 4, 7)), "Wed Mar  5 09:04:07 2025");
    EXPECT_EQ(CtimeText(Time(1999, 12, 31, 5, 23, 59, 59)), "Fri Dec 31 23:59:59 1999");
    EXPECT_EQ(CtimeText(Time(2038, 1, 19, 2, 3, 14, 8)), "Tue Jan 19 03:14:08 2038");
    EXPECT_EQ(CtimeText(Time(9999, 7, 10, 0, 0, 0, 0)).size(), 24u);
}

TEST(CtimeText, TheExtremeYearsAreWrittenInFull) {
    // 1900 + INT_MAX and 1900 + INT_MIN lie outside int; the text still names the true year.
    std::tm time = Time(2025, 3, 5, 3, 9, 4, 7);
    time.tm_year = INT_MAX;
    EXPECT_EQ(CtimeText(time), "Wed Mar  5 09:04:07 2147485547");
    time.tm_year = INT_MIN;
    EXPECT_EQ(CtimeText(time), "Wed Mar  5 09:04:07 -2147481748");
    time.tm_year = -1900;
    EXPECT_EQ(CtimeText(time), "Wed Mar  5 09:04:07 0");

    // Every field at its extreme at once is written whole, nothing cut off.
    std::tm wild{};
    wild.tm_year = INT_MIN;
    wild.tm_mon = INT_MIN;
    wild.tm_wday = INT_MAX;
    wild.tm_mday = INT_MIN;
    wild.tm_hour = INT_MIN;
    wild.tm_min = INT_MIN;
    wild.tm_sec = INT_MIN;
    EXPECT_EQ(CtimeText(wild),
              "??\? ??\?-2147483648 -2147483648:-2147483648:-2147483648 -2147481748");
}
