#include "os/LocalTimeParts.h"

namespace tolvane {

LocalTimeParts BreakDownLocalTime(std::time_t t) {
    std::tm tm{};
    LocalTimeParts parts;
    if (localtime_r(&t, &tm) == nullptr) {
        return parts;
    }
    parts.year = tm.tm_year + 1900;
    parts.month = tm.tm_mon + 1;
    parts.day = tm.tm_mday;
    parts.weekday = tm.tm_wday;
    parts.hour = tm.tm_hour;
    parts.minute = tm.tm_min;
    parts.second = tm.tm_sec > 59 ? 59 : tm.tm_sec;
    parts.utcOffsetSeconds = tm.tm_gmtoff;
    return parts;
}

}  // namespace tolvane
