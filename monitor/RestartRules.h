#pragma once

#include <cstdint>
#include <ctime>
#include <deque>

#include "settings/Settings.h"

namespace tolvane {

// What one check comes to under the failure threshold, the grace after a restart and the
// restart limit. At their defaults every failed check restarts and nothing else happens.
enum class CheckVerdict {
    Healthy,       // answered
    Recovered,     // answered, the first time since a restart
    Counted,       // failed, short of the threshold
    InGrace,       // failed within the grace after a restart: not counted
    Restart,       // failed at the threshold: restart now
    LimitReached,  // failed at the threshold, but the limit stops this restart and the next ones
    Stopped,       // failed again while restarts stay stopped
};

// The counts behind the verdicts, kept from one tick to the next.
class RestartRules {
public:
    // `settings` holds the values in force (AddedValuesInForce).
    CheckVerdict OnCheck(bool answered, std::time_t now, const Settings& settings);
    void RestartBegan(std::time_t now);
    void RestartEnded(std::time_t now, const Settings& settings);

    std::uint32_t Failures() const { return failures_; }
    bool LimitReached() const { return stopped_; }
    // Seconds from the start of the last restart to `now`.
    std::uint64_t SinceRestartBegan(std::time_t now) const;

private:
    std::uint32_t failures_ = 0;
    std::deque<std::time_t> starts_;  // restarts that began, oldest first
    std::time_t lastStart_ = 0;
    std::time_t graceEnds_ = 0;
    bool awaitingAnswer_ = false;  // a restart is waiting for its first successful check
    bool stopped_ = false;
};

}  // namespace tolvane
