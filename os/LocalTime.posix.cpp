#include "os/LocalTime.h"

namespace tolvane {

std::string FormatLocalTime(std::time_t t) {
    std::tm parts{};
    localtime_r(&t, &parts);
    char text[64];
    const std::size_t n = std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &parts);
    return std::string(text, n);
}

}  // namespace tolvane
