#include "os/Clock.h"

#include <windows.h>

namespace tolvane {

void SystemClock::Pause(std::uint32_t ms) {
    Sleep(ms);
}

std::time_t SystemClock::Now() {
    return std::time(nullptr);
}

Clock& RealClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace tolvane
