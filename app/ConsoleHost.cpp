#include "app/ConsoleHost.h"

#include <algorithm>
#include <ctime>

#include "app/StoredSettings.h"
#include "os/CodePage.h"
#include "os/Console.h"
#include "os/LocalTime.h"
#include "os/StopRequest.h"

namespace tolvane {

void ConsoleHost::ShowStatus() {
    if (!printStatus_ || cycle_ == nullptr) {
        return;
    }
    const std::string text = Cp932ToLocale(cycle_->StatusText);
    const StatusKind kind = cycle_->Kind;
    // A step within a check says nothing new; a restart's steps are the log's lines.
    const bool news = kind != StatusKind::Progress && kind != StatusKind::Logged &&
                      kind != lastKind_;
    if (kind != StatusKind::Progress) {
        lastKind_ = kind;
    }
    if (every_ || news) {
        PrintLine(text);
    }
    // The service manager always shows the status line of the moment.
    if (notifier_ != nullptr) {
        notifier_->Status(text);
    }
    KeepAlive();
}

void ConsoleHost::Attach(RestartLog& log) {
    log.SetLineObserver([this](const std::string& line) { PrintLogLine(line); });
}

void ConsoleHost::PrintLogLine(const std::string& lineCp932) {
    if (!printStatus_) {
        return;
    }
    // A log line that repeats the status line just printed is not printed twice.
    const std::size_t tab = lineCp932.find('\t');
    if (every_ && cycle_ != nullptr && tab != std::string::npos &&
        lineCp932.compare(tab + 1, std::string::npos, cycle_->StatusText) == 0) {
        return;
    }
    WriteText(out_, Cp932ToLocale(PrintableLog(lineCp932)) + "\n");
    std::fflush(out_);
}

void ConsoleHost::PrintLine(const std::string& textInLocale) {
    WriteText(out_, FormatLocalTime(std::time(nullptr)) + "\t" + textInLocale + "\n");
    std::fflush(out_);
}

bool ConsoleHost::ReadControls() {
    if (reload_ != nullptr) {
        if (const auto changed = reload_->TakeChanges(); changed && printStatus_) {
            PrintLine(*changed);
        }
    }
    return true;
}

void ConsoleHost::KeepAlive() {
    if (notifier_ != nullptr) {
        notifier_->KeepAliveIfDue();
    }
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

std::optional<std::chrono::nanoseconds> ConsoleHost::TimeToWake() const {
    std::optional<std::chrono::nanoseconds> wake = TimeToNextExpiry();
    const auto keepAlive = notifier_ != nullptr ? notifier_->NextKeepAlive()
                                                : std::optional<ServiceNotifier::TimePoint>();
    if (keepAlive) {
        const auto left = std::max<std::chrono::nanoseconds>(
            *keepAlive - std::chrono::steady_clock::now(), std::chrono::nanoseconds::zero());
        if (!wake || left < *wake) {
            wake = left;
        }
    }
    return wake;
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
    KeepAlive();
    while (!WaitForStopRequest(TimeToWake())) {
        FireDueTimer();
        KeepAlive();
    }
    ReleaseStopRequests();
}

}  // namespace tolvane
