#pragma once

#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>

#include "monitor/MonitorCycle.h"

namespace tolvane {

// The cycle's host for tolvanectl: timers in its own loop, every status shown printed as
// "local time TAB text" in the locale's charset.
class ConsoleHost final : public MonitorHost {
public:
    explicit ConsoleHost(std::FILE* out, bool printStatus = true)
        : out_(out), printStatus_(printStatus) {}

    void Attach(MonitorCycle& cycle) { cycle_ = &cycle; }

    bool ReadControls() override { return true; }  // the settings were checked before Start
    void ShowStatus() override;
    void RefreshControls() override {}
    void FocusWindow() override {}
    void HideWindow() override {}
    void Repaint() override {}
    void ArmTimer(int id, std::uint32_t ms) override;
    void KillTimer(int id) override { timers_.erase(id); }

    // Delivers timer expiries until SIGINT or SIGTERM. Those signals are held back while a
    // handler runs, so a tick or restart always finishes and no log line is cut.
    void RunUntilSignalled();

private:
    std::FILE* out_;
    bool printStatus_;
    MonitorCycle* cycle_ = nullptr;
    std::map<int, std::chrono::steady_clock::time_point> timers_;
};

}  // namespace tolvane
