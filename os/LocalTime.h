#pragma once

#include <ctime>
#include <string>

namespace tolvane {

// "%Y/%m/%d %H:%M:%S" in local time, the stamp of the status line and the log.
std::string FormatLocalTime(std::time_t t);

}  // namespace tolvane
