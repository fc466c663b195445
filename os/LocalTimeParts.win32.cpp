#include "os/LocalTimeParts.h"

#include <windows.h>

#include <cstdint>

namespace tolvane {

namespace {

// 100 ns intervals between 1601-01-01 and the Unix epoch.
constexpr std::int64_t kEpochDifference = 116444736000000000LL;
constexpr std::int64_t kTicksPerSecond = 10000000LL;

std::int64_t Seconds(const SYSTEMTIME& time) {
    FILETIME file{};
    SystemTimeToFileTime(&time, &file);
    const std::int64_t ticks =
        (static_cast<std::int64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
    return ticks / kTicksPerSecond;
}

}  // namespace

LocalTimeParts BreakDownLocalTime(std::time_t t) {
    // The moment in the system's own time zone, as GetLocalTime gives the present one.
    const std::int64_t ticks = static_cast<std::int64_t>(t) * kTicksPerSecond + kEpochDifference;
    FILETIME file{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    LocalTimeParts parts;
    if (!FileTimeToSystemTime(&file, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        return parts;
    }
    parts.year = local.wYear;
    parts.month = local.wMonth;
    parts.day = local.wDay;
    parts.weekday = local.wDayOfWeek;
    parts.hour = local.wHour;
    parts.minute = local.wMinute;
    parts.second = local.wSecond;
    parts.utcOffsetSeconds = static_cast<long>(Seconds(local) - Seconds(utc));
    return parts;
}

}  // namespace tolvane
