#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <utility>
#include <vector>

#include "mail/MailDispatch.h"
#include "monitor/CycleEvents.h"
#include "monitor/CycleFigures.h"
#include "monitor/HttpCheck.h"
#include "monitor/MonitorHost.h"
#include "monitor/RestartLog.h"
#include "monitor/RestartRules.h"
#include "os/Clock.h"
#include "settings/Settings.h"

namespace tolvane {

// Runs one command line to its end, repainting the window meanwhile.
using CommandRun =
    std::function<CommandOutcome(const std::string& commandLine, RepaintTarget* window)>;

// Runs one check of the web server; the connection stays in `socket` until the caller closes it.
using CheckRun = std::function<CheckResult(const CheckTarget& target, Socket& socket)>;

// What the cycle works with besides its host. Tests replace them to run in virtual time.
struct CycleParts {
    Clock* clock = &RealClock();
    RestartLog* log = nullptr;
    CommandRun runCommand;                      // default: CommandRunner::Run with the clock
    CheckRun check;                             // default: RunCheck
    MailDispatch sendMail;                      // must be set for WithMail to send anything
    std::function<std::string()> computerName;  // default: GetComputerName
    EventReport report;                         // default: no event log
};

// What one command of the restart sequence asks of a service tool: `net stop w3svc /y` is
// {"w3svc", "stop"}, `mtxstop` is {"mtxstop", ""}.
struct ServiceUse {
    std::string name;    // lower case, as the command line gives it
    std::string action;  // "start" or "stop"; empty for mtxstop, which takes no service
    bool operator==(const ServiceUse&) const = default;
};

// The uses of the restart sequence with these settings, in the order it runs them.
std::vector<ServiceUse> RestartServiceUses(const Settings& settings);
// The names of those uses, each once, in the order of their first use.
std::vector<std::string> RestartServiceNames(const Settings& settings);

// Where the cycle is: stopped, started and checking (from Start to the end of each tick),
// waiting between two ticks, or running a connection test.
enum class CycleState { Stopped, Checking, Waiting, Testing };

// What a status line tells of the monitor: a step within a check, an answering server, a
// failing one, or a line the restart log also gets (a restart's step, the limit's stop).
enum class StatusKind { Progress, Answering, Failing, Logged };

// What a connection test found; a refused reading of the fields runs no test.
enum class ConnectionTestResult { ReadingRefused, Succeeded, Failed };

// The check-and-restart cycle with its Start and Stop, the connection test and the automatic
// start. Everything runs on the host's thread; each timer handler kills its timer first.
class MonitorCycle {
public:
    // `window`, when there is one, hears of the changes its controls and focus follow.
    MonitorCycle(Settings& settings, MonitorHost& host, CycleParts parts,
                 MonitorWindow* window = nullptr);

    // The state the window opens with; arms the automatic start when AutoStartupMode is on.
    void Open();
    void ArmAutoStart();
    // The automatic start's delay, and that of each further attempt.
    static constexpr std::uint32_t kAutoStartDelay = 1000;

    // Reads the fields first; a refused reading leaves the monitor stopped.
    void Start();
    void Stop();
    ConnectionTestResult ConnectionTest();
    void OnTimer(int id);

    CycleState State() const { return state_; }
    // The clock the cycle pauses on.
    Clock& WaitClock() { return *parts_.clock; }
    // The three flags the enabling rules are written over, read from the state: 1 or 0. A test
    // leaves the first two as the state it interrupted had them.
    std::uint32_t Stopped() const { return Resumed() == CycleState::Stopped ? 1 : 0; }
    std::uint32_t CycleBusy() const { return Resumed() == CycleState::Waiting ? 0 : 1; }
    std::uint32_t TestIdle() const { return state_ == CycleState::Testing ? 0 : 1; }

    std::string StatusText;
    StatusKind Kind = StatusKind::Progress;

    // What the monitor has seen, as the figures file reports it after every check.
    const CycleFigures& Figures() const { return figures_; }

private:
    // Reads the host's fields and remembers the interval when they are accepted.
    bool ReadFields();
    void Tick();
    // One check with the settings in force; the connection stays in `socket`.
    CheckResult Check(const Settings& inForce, Socket& socket);
    // What the tick does after a check, by its verdict.
    void AfterCheck(const CheckResult& result, const Settings& inForce);
    void SuccessAnimation();
    void RestartSequence();
    void AutoStartAttempt();
    void SetStatus(const std::string& text, StatusKind kind);
    void SendMail();
    // The report mail after a recovery or when the limit stops restarts, headed by `headline`.
    void SendReport(const std::string& headline, bool recovered);
    // Sends one mail; a failure leaves its line in the log.
    void Dispatch(const std::string& subject, const std::string& body);
    void Append(const std::string& text);
    void Report(CycleEvent event, const std::vector<std::string>& texts = {});
    // The state a running test returns to; the state itself otherwise.
    CycleState Resumed() const { return state_ == CycleState::Testing ? interrupted_ : state_; }
    void RefreshControls();
    void FocusWindow();

    Settings& settings_;
    MonitorHost& host_;
    MonitorWindow* window_;
    CycleParts parts_;
    CycleState state_ = CycleState::Stopped;
    // The automatic start may test while the monitor runs (Start pressed before it came).
    CycleState interrupted_ = CycleState::Stopped;
    // The interval of the last accepted reading; every tick re-arms with it.
    std::uint32_t acceptedInterval_ = Settings().Interval;
    RestartRules rules_;
    CycleFigures figures_;
    // What the last restart was for and how its commands ended, for the report mail.
    std::string failedCheck_;
    std::vector<std::pair<std::string, CommandOutcome>> lastCommands_;
};

}  // namespace tolvane
