#include "os/Clock.h"

#include <cerrno>

namespace tolvane {

void SystemClock::Pause(std::uint32_t ms) {
    timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    // A signal must not shorten a pause: the cycle relies on its delays.
    while (nanosleep(&left, &left) == -1 && errno == EINTR) {
    }
}

std::time_t SystemClock::Now() {
    return std::time(nullptr);
}

Clock& RealClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace tolvane
