#pragma once

#include <memory>
#include <string>

#include "monitor/MonitorCycle.h"
#include "tests/support/TestSupport.h"

namespace tolvane::test {

// A cycle in virtual time whose checks answer as the test says, with a real log and a real
// figures file in a temporary folder. Restarts run the four commands of the defaults with FTP
// and SMTP off, each taking a second.
class ScriptedCycle final : public MonitorHost, private Clock {
public:
    explicit ScriptedCycle(const Settings& settings) : settings_(settings) {
        settings_.CheckFtpSvc = 0;
        settings_.CheckSmtpSvc = 0;
        settings_.MetricsFile = dir.File("tolvane.prom");
        CycleParts parts;
        parts.clock = this;
        parts.log = &log_;
        parts.computerName = [] { return std::string("127.0.0.1"); };
        parts.check = [this](const CheckTarget&, Socket&) {
            CheckResult result;
            result.ok = answer_ == '.';
            result.httpStatus = result.ok ? 200 : 503;
            result.reason = result.ok ? "" : "status 503";
            result.durationMs = 1234;
            return result;
        };
        parts.runCommand = [this](const std::string&, RepaintTarget*) {
            nowMs_ += 1000;
            return CommandOutcome::ExitedWith(commandExitCode, 1000);
        };
        parts.sendMail = [this](const std::string&, const std::string&, const std::string&,
                                const std::string&, const std::string&, std::uint32_t,
                                const MailSecurity&,
                                std::string&) { return mailResult; };
        cycle_ = std::make_unique<MonitorCycle>(settings_, *this, parts);
    }

    // One tick, Interval after the last: '.' answers, 'F' fails with status 503.
    void Tick(char answer) {
        answer_ = answer;
        nowMs_ += 60000;
        cycle_->OnTimer(CheckTimer);
    }

    const std::string& FiguresPath() const { return settings_.MetricsFile; }
    MonitorCycle& Cycle() { return *cycle_; }
    static constexpr std::time_t kEpoch = 1700000000;

    TempDir dir;
    int commandExitCode = 0;
    int mailResult = 1;

private:
    bool ReadControls() override { return true; }
    void ShowStatus() override {}
    void Repaint() override {}
    void ArmTimer(int, std::uint32_t) override {}
    void KillTimer(int) override {}
    void Pause(std::uint32_t ms) override { nowMs_ += ms; }
    std::time_t Now() override { return kEpoch + static_cast<std::time_t>(nowMs_ / 1000); }

    Settings settings_;
    std::uint64_t nowMs_ = 0;
    char answer_ = '.';
    RestartLog log_{*this, dir.Path() + "/"};
    std::unique_ptr<MonitorCycle> cycle_;
};

}  // namespace tolvane::test
