#include "monitor/RestartRules.h"

namespace tolvane {

CheckVerdict RestartRules::OnCheck(bool answered, std::time_t now, const Settings& settings) {
    if (answered) {
        failures_ = 0;
        graceEnds_ = 0;
        if (!awaitingAnswer_) {
            return CheckVerdict::Healthy;
        }
        awaitingAnswer_ = false;
        if (stopped_) {
            // Restarts are allowed again, with a window of their own.
            stopped_ = false;
            starts_.clear();
        }
        return CheckVerdict::Recovered;
    }
    if (now < graceEnds_) {
        return CheckVerdict::InGrace;
    }
    graceEnds_ = 0;
    ++failures_;
    if (failures_ < settings.FailureThreshold) {
        return CheckVerdict::Counted;
    }
    if (stopped_) {
        return CheckVerdict::Stopped;
    }
    const std::time_t window = static_cast<std::time_t>(settings.RestartWindow) * 60;
    while (!starts_.empty() && now - starts_.front() >= window) {
        starts_.pop_front();
    }
    if (settings.RestartLimit != 0 && starts_.size() >= settings.RestartLimit) {
        stopped_ = true;
        return CheckVerdict::LimitReached;
    }
    return CheckVerdict::Restart;
}

void RestartRules::RestartBegan(std::time_t now) {
    starts_.push_back(now);
    lastStart_ = now;
    awaitingAnswer_ = true;
    failures_ = 0;
}

void RestartRules::RestartEnded(std::time_t now, const Settings& settings) {
    graceEnds_ = settings.RestartGrace != 0 ? now + settings.RestartGrace : 0;
}

std::uint64_t RestartRules::SinceRestartBegan(std::time_t now) const {
    return now > lastStart_ ? static_cast<std::uint64_t>(now - lastStart_) : 0;
}

}  // namespace tolvane
