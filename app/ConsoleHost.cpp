#include "app/ConsoleHost.h"

#include <algorithm>
#include <ctime>

#include "platform/CodePage.h"
#include "platform/Console.h"
#include "platform/LocalTime.h"
#include "platform/StopRequest.h"

namespace tolvane {

void ConsoleHost::ShowStatus() {
    if (!printStatus_ || cycle_ == nullptr) {
        return;
    }
    const std::string line =
        FormatLocalTime(std::time(nullptr)) + "\t" + Cp932ToLocale(cycle_->StatusText) + "\n";
    WriteText(out_, line);
    std::fflush(out_);
}

void ConsoleHost::ArmTimer(int id, std::uint32_t ms) {
    timers_[id] = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

void ConsoleHost::HoldEndingSignals() {
    HoldStopRequests();
}

ConsoleHost::Timers::const_iterator ConsoleHost::Earliest() const {
    return std::min_element(timers_.begin(), timers_.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; });
}

std::optional<std::chrono::nanoseconds> ConsoleHost::TimeToNextExpiry() const {
    if (timers_.empty()) {
        return std::nullopt;
    }
    const auto left = Earliest()->second - std::chrono::steady_clock::now();
    return std::max<std::chrono::nanoseconds>(left, std::chrono::nanoseconds::zero());
}

void ConsoleHost::FireDueTimer() {
    const auto next = Earliest();
    if (next == timers_.end() || next->second > std::chrono::steady_clock::now()) {
        return;
    }
    // Expiries behave as one-shots: the handler kills and re-arms as it needs.
    const int id = next->first;
    timers_.erase(next);
    if (cycle_ != nullptr) {
        cycle_->OnTimer(id);
    }
}

void ConsoleHost::RunUntilSignalled() {
    HoldStopRequests();
    while (!WaitForStopRequest(TimeToNextExpiry())) {
        FireDueTimer();
    }
    ReleaseStopRequests();
}

}  // namespace tolvane
