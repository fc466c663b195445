#include "os/LocalTime.h"

#include <cstdio>

#include "os/LocalTimeParts.h"

namespace tolvane {

std::string FormatLocalTime(std::time_t t) {
    const LocalTimeParts parts = BreakDownLocalTime(t);
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", parts.year,
                                parts.month, parts.day, parts.hour, parts.minute, parts.second);
    return std::string(text, static_cast<std::size_t>(n));
}

}  // namespace tolvane
