#include "monitor/MonitorCycle.h"

#include <algorithm>
#include <array>

#include "monitor/MonitorTexts.h"
#include "os/CodePage.h"
#include "os/ComputerName.h"
#include "os/LocalTime.h"
#include "text/CommandLine.h"

namespace tolvane {

namespace {

constexpr std::uint32_t kFirstTickDelay = 1000;
constexpr std::uint32_t kTickPause = 550;
constexpr std::uint32_t kTestPause = 1000;
constexpr std::uint32_t kStopSettle = 1000;
constexpr std::uint32_t kAutoDelay = MonitorCycle::kAutoStartDelay;

// One row of the restart sequence; a row without a command pauses instead.
struct RestartRow {
    std::uint32_t Settings::*condition;  // null: always
    const char* status;                  // UTF-8 here, CP932 once converted
    const char* command;                 // null: pause
};

constexpr std::array<RestartRow, 10> kRestartRows{{
    {nullptr, "World Wide Web Publishing Service を停止中...", "command.com /C net stop w3svc /y"},
    {nullptr, "IIS Admin Service を停止中...", "command.com /C net stop iisadmin /y"},
    {&Settings::CheckMsdtc, "Microsoft Distributed Transaction Coordinator Service を停止中...",
     "command.com /C net stop msdtc"},
    {nullptr, "サーバープロセスを停止中...", "command.com /C mtxstop"},
    {nullptr, "停止完了", nullptr},
    {nullptr, "World Wide Web Publishing Service を開始中...", "command.com /C net start w3svc"},
    {&Settings::CheckFtpSvc, "FTP Publishing Service を開始中...",
     "command.com /C net start msftpsvc"},
    {&Settings::CheckSmtpSvc, "Microsoft SMTP Service を開始中...",
     "command.com /C net start smtpsvc"},
    {&Settings::CheckNntpSvc, "Microsoft NNTP Service を開始中...",
     "command.com /C net start nntpsvc"},
    {&Settings::CheckMsdtc, "Microsoft Distributed Transaction Coordinator Service を開始中...",
     "command.com /C net start msdtc"},
}};

const std::array<std::string, kRestartRows.size()>& RowStatusTexts() {
    static const auto texts = [] {
        std::array<std::string, kRestartRows.size()> converted;
        for (std::size_t i = 0; i < kRestartRows.size(); ++i) {
            converted[i] = Sjis(kRestartRows[i].status);
        }
        return converted;
    }();
    return texts;
}

// The line of a restart the limit stopped, with the limit in force.
std::string LimitText(const Settings& inForce) {
    return texts::RestartsStopped(inForce.RestartWindow, inForce.RestartLimit);
}

}  // namespace

std::vector<ServiceUse> RestartServiceUses(const Settings& settings) {
    std::vector<ServiceUse> uses;
    for (const RestartRow& row : kRestartRows) {
        if (row.command == nullptr || (row.condition != nullptr && settings.*row.condition == 0)) {
            continue;
        }
        // "command.com /C net ACTION NAME [/y]" or "command.com /C mtxstop".
        const std::vector<std::string> words = SplitCommandLine(row.command);
        if (words.size() >= 5 && words[2] == "net") {
            uses.push_back(ServiceUse{words[4], words[3]});
        } else {
            uses.push_back(ServiceUse{words.back(), {}});
        }
    }
    return uses;
}

std::vector<std::string> RestartServiceNames(const Settings& settings) {
    std::vector<std::string> names;
    for (const ServiceUse& use : RestartServiceUses(settings)) {
        if (std::find(names.begin(), names.end(), use.name) == names.end()) {
            names.push_back(use.name);
        }
    }
    return names;
}

MonitorCycle::MonitorCycle(Settings& settings, MonitorHost& host, CycleParts parts,
                           MonitorWindow* window)
    : settings_(settings), host_(host), window_(window), parts_(std::move(parts)) {
    if (parts_.clock == nullptr) {
        parts_.clock = &RealClock();
    }
    if (!parts_.runCommand) {
        Clock* clock = parts_.clock;
        parts_.runCommand = [clock](const std::string& line, RepaintTarget* target) {
            return CommandRunner::Run(line, target, *clock);
        };
    }
    if (!parts_.check) {
        parts_.check = [](const CheckTarget& target, Socket& socket) {
            return RunCheck(target, socket);
        };
    }
    if (!parts_.computerName) {
        parts_.computerName = [] { return GetComputerName(); };
    }
}

void MonitorCycle::Open() {
    state_ = CycleState::Stopped;
}

void MonitorCycle::RefreshControls() {
    if (window_ != nullptr) {
        window_->RefreshControls();
    }
}

void MonitorCycle::FocusWindow() {
    if (window_ != nullptr) {
        window_->FocusWindow();
    }
}

void MonitorCycle::ArmAutoStart() {
    if (settings_.AutoStartupMode != 0) {
        host_.ArmTimer(AutoStartTimer, kAutoDelay);
    }
}

void MonitorCycle::SetStatus(const std::string& text, StatusKind kind) {
    StatusText = text;
    Kind = kind;
    host_.ShowStatus();
}

bool MonitorCycle::ReadFields() {
    if (!host_.ReadControls()) {
        return false;
    }
    // Checked against the rule whatever the host let through, so a tick is never armed for
    // 0 ms or past 32 bits of milliseconds.
    if (CheckNumber(settings_.Interval, RuleOf(&Settings::Interval)).accepted) {
        acceptedInterval_ = settings_.Interval;
    }
    return true;
}

void MonitorCycle::Start() {
    // A field that a tick would refuse refuses Start: the user sees the refusal once, and the
    // monitor never runs on a number that every tick would refuse again.
    if (!ReadFields()) {
        return;
    }
    // Started again by the automatic start, a running monitor stays where it is.
    if (state_ == CycleState::Stopped) {
        state_ = CycleState::Checking;
    }
    RefreshControls();
    host_.ArmTimer(CheckTimer, kFirstTickDelay);
}

void MonitorCycle::Stop() {
    host_.KillTimer(CheckTimer);
    state_ = CycleState::Stopped;
    // Monitoring started again starts counting afresh: a limit reached before is lifted.
    rules_ = RestartRules();
    RefreshControls();
    FocusWindow();
}

void MonitorCycle::OnTimer(int id) {
    switch (id) {
        case CheckTimer:
            Tick();
            break;
        case AutoStartTimer:
            AutoStartAttempt();
            break;
        case AutoHideTimer:
            host_.KillTimer(AutoHideTimer);
            if (window_ != nullptr) {
                window_->HideWindow();
            }
            break;
        default:
            break;
    }
}

void MonitorCycle::Tick() {
    host_.KillTimer(CheckTimer);
    // A refused reading means a field holds a number outside its range. Probing with it
    // could restart a healthy server, so this tick only waits for the next one.
    const bool readable = ReadFields();
    state_ = CycleState::Checking;
    RefreshControls();
    Socket probe;
    if (readable) {
        SetStatus(texts::Checking(), StatusKind::Progress);
        parts_.clock->Pause(kTickPause);
        const Settings inForce = AddedValuesInForce(settings_);
        AfterCheck(Check(inForce, probe), inForce);
        if (!inForce.MetricsFile.empty()) {
            WriteFigures(Cp932ToUtf8(inForce.MetricsFile), figures_);
        }
    }
    // Interval may hold a refused number (0 would mean a tick, and a refusal, every moment);
    // the next tick comes after the last interval that was accepted.
    host_.ArmTimer(CheckTimer, acceptedInterval_ * 1000u);
    state_ = CycleState::Waiting;
    RefreshControls();
    FocusWindow();
    probe.Close();
}

CheckResult MonitorCycle::Check(const Settings& inForce, Socket& socket) {
    CheckTarget target;
    target.host = parts_.computerName();
    target.port = inForce.Port;
    target.path = inForce.CheckPath;
    target.hostHeader = inForce.CheckHost;
    target.accepted = ParseStatusList(inForce.CheckStatus).value_or(target.accepted);
    // The stored text is CP932; the pages it is looked for in are UTF-8 far more often.
    target.text = Cp932ToUtf8(inForce.CheckText);
    target.timeoutSeconds = inForce.CheckTimeout;
    target.tls = inForce.CheckTls != 0;
    target.tlsPeer.verify = TlsVerifyNamed(inForce.CheckVerify).value_or(TlsVerify::None);
    target.tlsPeer.fingerprint = NormalizedFingerprint(inForce.CheckFingerprint).value_or("");
    return parts_.check(target, socket);
}

void MonitorCycle::AfterCheck(const CheckResult& result, const Settings& inForce) {
    const std::time_t now = parts_.clock->Now();
    const CheckVerdict verdict = rules_.OnCheck(result.ok, now, inForce);
    figures_.checkSucceeded = result.ok;
    figures_.checkDurationMs = result.durationMs;
    figures_.http = !inForce.CheckPath.empty();
    figures_.httpStatus = result.httpStatus;
    switch (verdict) {
        case CheckVerdict::Healthy:
            SuccessAnimation();
            break;
        case CheckVerdict::Recovered: {
            SuccessAnimation();
            const std::string recovered = texts::Recovered(rules_.SinceRestartBegan(now));
            SetStatus(recovered, StatusKind::Answering);
            Append(recovered);
            Report(CycleEvent::Recovered, {recovered});
            if (settings_.WithMail != 0 && inForce.MailOnRecovery != 0) {
                SendReport(recovered, true);
            }
            break;
        }
        case CheckVerdict::Counted:
            SetStatus(texts::NoAnswer(rules_.Failures(), inForce.FailureThreshold),
                      StatusKind::Failing);
            break;
        case CheckVerdict::InGrace:
            SetStatus(texts::NoAnswerInGrace(), StatusKind::Failing);
            break;
        case CheckVerdict::Restart:
            failedCheck_ = result.reason;
            rules_.RestartBegan(now);
            ++figures_.restarts;
            figures_.lastRestart = now;
            RestartSequence();
            rules_.RestartEnded(parts_.clock->Now(), inForce);
            break;
        case CheckVerdict::LimitReached: {
            failedCheck_ = result.reason;
            const std::string stopped = LimitText(inForce);
            SetStatus(stopped, StatusKind::Logged);
            Append(stopped);
            Report(CycleEvent::LimitReached, {stopped});
            if (settings_.WithMail != 0) {
                SendReport(stopped, false);
            }
            break;
        }
        case CheckVerdict::Stopped:
            SetStatus(LimitText(inForce), StatusKind::Logged);
            break;
    }
    figures_.consecutiveFailures = rules_.Failures();
    figures_.limitReached = rules_.LimitReached();
}

void MonitorCycle::SuccessAnimation() {
    const std::string stamp = FormatLocalTime(parts_.clock->Now());
    SetStatus(texts::CheckStep1(), StatusKind::Progress);
    parts_.clock->Pause(kTickPause);
    SetStatus(texts::CheckStep2() + stamp, StatusKind::Progress);
    parts_.clock->Pause(kTickPause);
    SetStatus(texts::CheckStep2() + stamp + texts::CheckOk(), StatusKind::Answering);
}

void MonitorCycle::RestartSequence() {
    const auto& statusTexts = RowStatusTexts();
    lastCommands_.clear();
    bool first = true;
    for (std::size_t i = 0; i < kRestartRows.size(); ++i) {
        const RestartRow& row = kRestartRows[i];
        if (row.condition != nullptr && settings_.*row.condition == 0) {
            continue;
        }
        SetStatus(statusTexts[i], StatusKind::Logged);
        if (first) {
            Append(texts::RestartBegins());
            Report(CycleEvent::RestartBegun, {failedCheck_});
            first = false;
        }
        Append(statusTexts[i]);
        if (row.command == nullptr) {
            parts_.clock->Pause(kStopSettle);
            continue;
        }
        // The sequence goes on whatever a command comes to; the log says what it came to.
        const CommandOutcome outcome = parts_.runCommand(row.command, &host_);
        lastCommands_.emplace_back(row.command, outcome);
        if (!outcome.Succeeded()) {
            ++figures_.commandFailures;
            Append(texts::CommandFailed(outcome, row.command));
            Report(CycleEvent::CommandFailed, {row.command, texts::HowCommandEnded(outcome)});
        }
    }
    SetStatus(texts::RestartedStatus() + FormatLocalTime(parts_.clock->Now()), StatusKind::Logged);
    Append(texts::Restarted());
    Report(CycleEvent::RestartEnded);
    if (settings_.WithMail != 0) {
        SendMail();
    }
}

void MonitorCycle::SendMail() {
    Dispatch(settings_.Subject, settings_.Body);
}

void MonitorCycle::SendReport(const std::string& headline, bool recovered) {
    std::string body = headline + "\r\n" + texts::ReportCheck(failedCheck_) + "\r\n" +
                       texts::ReportCommands() + "\r\n";
    for (const auto& [line, outcome] : lastCommands_) {
        body += texts::ReportCommand(line, outcome) + "\r\n";
    }
    if (!recovered) {
        body += texts::ReportNoRecovery() + "\r\n";
    }
    Dispatch(settings_.Subject + " " + headline, body);
}

void MonitorCycle::Dispatch(const std::string& subject, const std::string& body) {
    std::string reason;
    int sent = 0;
    if (parts_.sendMail) {
        MailSecurity security;
        CopyMailSecurityValues(settings_, security);
        sent = parts_.sendMail(settings_.From, settings_.To, subject, body, settings_.Smtp,
                               settings_.SmtpPort, security, reason);
    }
    if (sent == 0) {
        ++figures_.mailsFailed;
        Append(texts::MailFailed() + reason);
        Report(CycleEvent::MailFailed, {reason});
    } else {
        ++figures_.mailsSent;
    }
}

void MonitorCycle::Append(const std::string& text) {
    if (parts_.log != nullptr) {
        parts_.log->Append(text);
    }
}

void MonitorCycle::Report(CycleEvent event, const std::vector<std::string>& texts) {
    if (parts_.report) {
        parts_.report(event, texts);
    }
}

ConnectionTestResult MonitorCycle::ConnectionTest() {
    if (!ReadFields()) {
        return ConnectionTestResult::ReadingRefused;
    }
    interrupted_ = state_;
    state_ = CycleState::Testing;
    RefreshControls();
    SetStatus(texts::Checking(), StatusKind::Progress);
    parts_.clock->Pause(kTestPause);
    Socket probe;
    // The same check as the ticks make, so a test passes exactly when a tick would.
    const bool connected = Check(AddedValuesInForce(settings_), probe).ok;
    SetStatus(connected ? texts::TestSucceeded() : texts::TestFailed(),
              connected ? StatusKind::Answering : StatusKind::Failing);
    state_ = interrupted_;
    RefreshControls();
    FocusWindow();
    probe.Close();
    return connected ? ConnectionTestResult::Succeeded : ConnectionTestResult::Failed;
}

void MonitorCycle::AutoStartAttempt() {
    host_.KillTimer(AutoStartTimer);
    switch (ConnectionTest()) {
        case ConnectionTestResult::ReadingRefused:
            // The refused field waits for the user; trying again would only refuse it again,
            // once a second. The user corrects it and starts by hand.
            break;
        case ConnectionTestResult::Succeeded:
            Start();
            host_.ArmTimer(AutoHideTimer, kAutoDelay);
            break;
        case ConnectionTestResult::Failed:
            host_.ArmTimer(AutoStartTimer, kAutoDelay);
            break;
    }
}

}  // namespace tolvane
