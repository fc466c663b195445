#pragma once

#include <chrono>
#include <cstdio>
#include <map>
#include <optional>

#include "app/ServiceNotifier.h"
#include "monitor/MonitorCycle.h"
#include "monitor/RestartLog.h"

namespace tolvane {

class SettingsReload;

// The cycle's host for tolvanectl: timers in its own loop, and lines printed as "local time TAB
// text" in the locale's charset. A service's journal gets what its reader needs: the status
// lines that change the monitor's state (answering, failing, answering again) and the restart
// log's lines; every status line of every check only when asked.
class ConsoleHost final : public MonitorHost {
public:
    explicit ConsoleHost(std::FILE* out, bool printStatus = true)
        : out_(out), printStatus_(printStatus) {}

    void Attach(MonitorCycle& cycle) { cycle_ = &cycle; }
    // Every status shown also goes to the service manager, and keep-alives go out while the
    // loop waits or a command runs.
    void Attach(ServiceNotifier& notifier) { notifier_ = &notifier; }
    // The store is read again before each check when it changed.
    void Attach(SettingsReload& reload) { reload_ = &reload; }
    // The log's lines are printed as they are written.
    void Attach(RestartLog& log);
    // Prints every status line, not only those that change the monitor's state.
    void PrintEveryStatus(bool every) { every_ = every; }

    // Takes a changed store's settings, checked as at start; the fields are the settings.
    bool ReadControls() override;
    void ShowStatus() override;
    void Repaint() override { KeepAlive(); }
    void ArmTimer(int id, std::uint32_t ms) override;
    void KillTimer(int id) override { timers_.erase(id); }

    // Holds back the signals that end the monitor (SIGHUP, SIGINT, SIGQUIT, SIGTERM and the
    // other ones whose default is to end a program; on Windows Ctrl-C and closing the console)
    // until RunUntilSignalled waits between two ticks, and ignores SIGPIPE and SIGXFSZ: a
    // status line that cannot be printed and a log line past a size limit are lost, nothing
    // else. Call it first thing, so that a signal that comes early still ends the program
    // cleanly.
    static void HoldEndingSignals();

    // Delivers timer expiries until one of the ending signals comes. They are acted on only
    // between handlers, so a tick or restart always runs to its end.
    void RunUntilSignalled();

private:
    using Timers = std::map<int, std::chrono::steady_clock::time_point>;
    Timers::const_iterator Earliest() const;
    std::optional<std::chrono::nanoseconds> TimeToNextExpiry() const;
    void FireDueTimer();
    void KeepAlive();
    void PrintLine(const std::string& textInLocale);
    void PrintLogLine(const std::string& lineCp932);
    // The time to the next expiry or keep-alive, whichever comes first.
    std::optional<std::chrono::nanoseconds> TimeToWake() const;

    std::FILE* out_;
    bool printStatus_;
    bool every_ = false;
    // The kind of the last status shown that was more than a step within a check.
    std::optional<StatusKind> lastKind_;
    MonitorCycle* cycle_ = nullptr;
    ServiceNotifier* notifier_ = nullptr;
    SettingsReload* reload_ = nullptr;
    Timers timers_;
};

}  // namespace tolvane
