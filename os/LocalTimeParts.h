#pragma once

#include <ctime>

namespace tolvane {

// The local time broken down, with its distance from UTC, for stamps that carry their zone.
struct LocalTimeParts {
    int year = 1970;
    int month = 1;    // 1 to 12
    int day = 1;      // 1 to 31
    int weekday = 4;  // 0 Sunday to 6 Saturday
    int hour = 0;
    int minute = 0;
    int second = 0;
    long utcOffsetSeconds = 0;  // east of UTC is positive
};

LocalTimeParts BreakDownLocalTime(std::time_t t);

}  // namespace tolvane
