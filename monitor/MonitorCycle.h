#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "mail/MailDispatch.h"
#include "monitor/MonitorHost.h"
#include "monitor/RestartLog.h"
#include "os/Clock.h"
#include "settings/Settings.h"

namespace tolvane {

// Runs one command line to its end, repainting the window meanwhile.
using CommandRun = std::function<bool(const std::string& commandLine, RepaintTarget* window)>;

// What the cycle works with besides its host. Tests replace them to run in virtual time.
struct CycleParts {
    Clock* clock = &RealClock();
    RestartLog* log = nullptr;
    CommandRun runCommand;                      // default: CommandRunner::Run with the clock
    MailDispatch sendMail;                      // must be set for WithMail to send anything
    std::function<std::string()> computerName;  // default: GetComputerName
};

// The check-and-restart cycle with its Start and Stop, the connection test and the automatic
// start. Everything runs on the host's thread; each timer handler kills its timer first.
class MonitorCycle {
public:
    MonitorCycle(Settings& settings, MonitorHost& host, CycleParts parts);

    // The state the window opens with; arms the automatic start when AutoStartupMode is on.
    void Open();
    void ArmAutoStart();

    // Reads the fields first; a refused reading leaves the monitor stopped.
    void Start();
    void Stop();
    // False when the reading of the fields was refused and no test ran.
    bool ConnectionTest();
    void OnTimer(int id);

    std::string StatusText;
    std::uint32_t Stopped = 1;
    std::uint32_t CycleBusy = 1;
    std::uint32_t TestIdle = 1;

private:
    // Reads the host's fields and remembers the interval when they are accepted.
    bool ReadFields();
    void Tick();
    void RestartSequence();
    void AutoStartAttempt();
    void SetStatus(const std::string& text);
    void SendMail();
    void Append(const std::string& text);

    Settings& settings_;
    MonitorHost& host_;
    CycleParts parts_;
    // The interval of the last accepted reading; every tick re-arms with it.
    std::uint32_t acceptedInterval_ = Settings().Interval;
};

}  // namespace tolvane
