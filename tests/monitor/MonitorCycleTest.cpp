// The check-and-restart cycle driven in virtual time: timers fire at once, pauses only move the
// clock, commands are recorded. The probe still uses real loopback sockets.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

#include "monitor/MonitorCycle.h"
#include "monitor/MonitorTexts.h"
#include "os/CodePage.h"
#include "os/LocalTime.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

using test::LoopbackOnlyListener;
using test::TempDir;

class VirtualClock final : public Clock {
public:
    void Pause(std::uint32_t ms) override { nowMs += ms; }
    std::time_t Now() override { return kEpoch + static_cast<std::time_t>(nowMs / 1000); }

    static constexpr std::time_t kEpoch = 1700000000;
    std::uint64_t nowMs = 0;
};

struct Shown {
    std::uint64_t atMs;
    std::string text;  // UTF-8
};

class VirtualHost final : public MonitorHost, public MonitorWindow {
public:
    explicit VirtualHost(VirtualClock& clock, Settings& settings)
        : clock_(clock), settings_(settings) {}

    bool ReadControls() override {
        if (refuseReading) {
            return false;
        }
        settings_.Port = controlPort;
        return true;
    }
    void ShowStatus() override {
        shown.push_back({clock_.nowMs, Cp932ToUtf8(cycle->StatusText)});
        shownIn.push_back(cycle->State());
    }
    void RefreshControls() override {}
    void FocusWindow() override {}
    void HideWindow() override { hiddenAtMs.push_back(clock_.nowMs); }
    void Repaint() override {}
    void ArmTimer(int id, std::uint32_t ms) override {
        timers[id] = clock_.nowMs + ms;
        armed.push_back({id, clock_.nowMs, ms});
    }
    void KillTimer(int id) override { timers.erase(id); }

    // Moves the clock to the earliest armed timer and delivers it; its id, or 0 when none.
    int FireNext() {
        if (timers.empty()) {
            return 0;
        }
        auto next = timers.begin();
        for (auto it = timers.begin(); it != timers.end(); ++it) {
            if (it->second < next->second) {
                next = it;
            }
        }
        const int id = next->first;
        clock_.nowMs = std::max(clock_.nowMs, next->second);
        cycle->OnTimer(id);
        return id;
    }

    struct Armed {
        int id;
        std::uint64_t atMs;
        std::uint32_t delayMs;
    };

    MonitorCycle* cycle = nullptr;
    std::uint32_t controlPort = 0;
    bool refuseReading = false;
    std::map<int, std::uint64_t> timers;
    std::vector<Armed> armed;
    std::vector<Shown> shown;
    std::vector<CycleState> shownIn;  // the cycle's state as each status was shown
    std::vector<std::uint64_t> hiddenAtMs;

private:
    VirtualClock& clock_;
    Settings& settings_;
};

// Everything one cycle needs, with a real log file in a temporary folder.
class CycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.Interval = 60;
        host.controlPort = test::UnusedLoopbackPort();
    }

    MonitorCycle& Cycle() {
        if (!cycle_) {
            CycleParts parts;
            parts.clock = &clock;
            parts.log = &log;
            parts.computerName = [] { return std::string("127.0.0.1"); };
            parts.runCommand = [this](const std::string& line, RepaintTarget* window) {
                EXPECT_EQ(window, &host);
                commands.push_back(line);
                clock.Pause(1000);  // a command takes at least one second
                return commands.size() <= commandOutcomes.size()
                           ? commandOutcomes[commands.size() - 1]
                           : CommandOutcome::ExitedWith(0);
            };
            parts.sendMail = mail;
            parts.report = [this](CycleEvent event, const std::vector<std::string>& texts) {
                events.push_back({event, texts});
            };
            if (check) {
                parts.check = check;
            }
            cycle_ = std::make_unique<MonitorCycle>(settings, host, parts, &host);
            host.cycle = cycle_.get();
            cycle_->Open();
        }
        return *cycle_;
    }

    // The texts of the log's lines, without stamps; checks each line's form on the way.
    std::vector<std::string> LogTexts() {
        std::vector<std::string> texts;
        const std::string contents = test::ReadFile(log.Path());
        std::size_t at = 0;
        while (at < contents.size()) {
            const auto end = contents.find("\r\n", at);
            EXPECT_NE(end, std::string::npos) << "line without CR LF";
            if (end == std::string::npos) {
                break;
            }
            const std::string line = contents.substr(at, end - at);
            // "YYYY/MM/DD HH:MM:SS" of the virtual clock, then a TAB.
            EXPECT_TRUE(line.size() > 20 && line[19] == '\t' &&
                        line.compare(0, 4, FormatLocalTime(clock.Now()), 0, 4) == 0)
                << line;
            texts.push_back(Cp932ToUtf8(line.substr(20)));
            at = end + 2;
        }
        return texts;
    }

    // A fresh cycle on the same settings, for the next case of a table.
    void Reset() {
        cycle_.reset();
        host.cycle = nullptr;
        host.timers.clear();
        host.armed.clear();
        host.shown.clear();
        host.shownIn.clear();
        host.hiddenAtMs.clear();
        commands.clear();
        commandOutcomes.clear();
        events.clear();
        ::unlink(log.Path().c_str());
    }

    std::vector<std::string> ShownTexts() const {
        std::vector<std::string> texts;
        for (const auto& s : host.shown) {
            texts.push_back(s.text);
        }
        return texts;
    }

    TempDir dir;
    VirtualClock clock;
    Settings settings;
    VirtualHost host{clock, settings};
    RestartLog log{clock, dir.Path() + "/"};
    std::vector<std::string> commands;
    MailDispatch mail;
    CheckRun check;  // empty: the real check
    // How the commands end, in the order they run; the ones past the end succeed.
    std::vector<CommandOutcome> commandOutcomes;
    // What the cycle reported for the event log, in order.
    std::vector<std::pair<CycleEvent, std::vector<std::string>>> events;

private:
    std::unique_ptr<MonitorCycle> cycle_;
};

TEST_F(CycleTest, SuccessfulTickAnimatesTheStatusAndNeitherLogsNorRuns) {
    LoopbackOnlyListener listener;
    host.controlPort = listener.Port();
    MonitorCycle& cycle = Cycle();
    cycle.Start();
    EXPECT_EQ(cycle.Stopped(), 0u);
    EXPECT_EQ(cycle.CycleBusy(), 1u);
    ASSERT_EQ(host.FireNext(), CheckTimer);

    const std::string stamp = FormatLocalTime(VirtualClock::kEpoch + 1);
    const std::vector<std::string> expected{"確認中 ...", "確認 ", "確認  " + stamp,
                                            "確認  " + stamp + "  OK"};
    EXPECT_EQ(ShownTexts(), expected);
    // Three pauses of 550 ms: the minimum length of a successful tick.
    EXPECT_EQ(host.shown.back().atMs - host.shown.front().atMs, 1650u);
    EXPECT_TRUE(commands.empty());
    EXPECT_FALSE(test::ReadFile(log.Path()).size() > 0);
    EXPECT_EQ(cycle.CycleBusy(), 0u);

    // The connection was made and is closed at the end of the tick without any data.
    const int accepted = listener.Accept(1000);
    ASSERT_GE(accepted, 0);
    EXPECT_TRUE(test::EndsWithoutData(accepted, 10000));
}

struct RestartCase {
    const char* name;
    std::uint32_t ftp, smtp, nntp, msdtc;
    std::vector<std::string> commands;
    std::vector<std::string> logged;  // between the opening line and "IISを再起動しました"
};

const std::vector<RestartCase> kRestartCases{
    {"AllOff",
     0,
     0,
     0,
     0,
     {"command.com /C net stop w3svc /y", "command.com /C net stop iisadmin /y",
      "command.com /C mtxstop", "command.com /C net start w3svc"},
     {"World Wide Web Publishing Service を停止中...", "IIS Admin Service を停止中...",
      "サーバープロセスを停止中...", "停止完了", "World Wide Web Publishing Service を開始中..."}},
    {"AllOn",
     1,
     1,
     1,
     1,
     {"command.com /C net stop w3svc /y", "command.com /C net stop iisadmin /y",
      "command.com /C net stop msdtc", "command.com /C mtxstop", "command.com /C net start w3svc",
      "command.com /C net start msftpsvc", "command.com /C net start smtpsvc",
      "command.com /C net start nntpsvc", "command.com /C net start msdtc"},
     {"World Wide Web Publishing Service を停止中...", "IIS Admin Service を停止中...",
      "Microsoft Distributed Transaction Coordinator Service を停止中...",
      "サーバープロセスを停止中...", "停止完了", "World Wide Web Publishing Service を開始中...",
      "FTP Publishing Service を開始中...", "Microsoft SMTP Service を開始中...",
      "Microsoft NNTP Service を開始中...",
      "Microsoft Distributed Transaction Coordinator Service を開始中..."}},
    {"Defaults",
     1,
     1,
     0,
     0,
     {"command.com /C net stop w3svc /y", "command.com /C net stop iisadmin /y",
      "command.com /C mtxstop", "command.com /C net start w3svc",
      "command.com /C net start msftpsvc", "command.com /C net start smtpsvc"},
     {"World Wide Web Publishing Service を停止中...", "IIS Admin Service を停止中...",
      "サーバープロセスを停止中...", "停止完了", "World Wide Web Publishing Service を開始中...",
      "FTP Publishing Service を開始中...", "Microsoft SMTP Service を開始中..."}},
    // Any non-zero value is on, as a hand-edited store may hold.
    {"NonZeroFlagsAreOn",
     0,
     0,
     7,
     0xFFFFFFFF,
     {"command.com /C net stop w3svc /y", "command.com /C net stop iisadmin /y",
      "command.com /C net stop msdtc", "command.com /C mtxstop", "command.com /C net start w3svc",
      "command.com /C net start nntpsvc", "command.com /C net start msdtc"},
     {"World Wide Web Publishing Service を停止中...", "IIS Admin Service を停止中...",
      "Microsoft Distributed Transaction Coordinator Service を停止中...",
      "サーバープロセスを停止中...", "停止完了", "World Wide Web Publishing Service を開始中...",
      "Microsoft NNTP Service を開始中...",
      "Microsoft Distributed Transaction Coordinator Service を開始中..."}},
};

TEST_F(CycleTest, RestartRunsItsRowsInOrderUnderTheirConditions) {
    for (const auto& c : kRestartCases) {
        SCOPED_TRACE(c.name);
        Reset();
        settings.CheckFtpSvc = c.ftp;
        settings.CheckSmtpSvc = c.smtp;
        settings.CheckNntpSvc = c.nntp;
        settings.CheckMsdtc = c.msdtc;
        MonitorCycle& cycle = Cycle();
        cycle.Start();
        const std::uint64_t tickAt = clock.nowMs + 1000;
        ASSERT_EQ(host.FireNext(), CheckTimer);

        EXPECT_EQ(commands, c.commands);
        std::vector<std::string> logged{"接続できませんでした IISの再起動を開始します"};
        logged.insert(logged.end(), c.logged.begin(), c.logged.end());
        logged.push_back("IISを再起動しました");
        EXPECT_EQ(LogTexts(), logged);

        // The status shows each row before its command, then the end with its time.
        std::vector<std::string> shown{"確認中 ..."};
        shown.insert(shown.end(), c.logged.begin(), c.logged.end());
        std::vector<std::string> actual = ShownTexts();
        actual.pop_back();
        EXPECT_EQ(actual, shown);
        // 550 ms before the probe, one second per command and one for "停止完了".
        const std::uint64_t restartEndMs = tickAt + 550 + 1000 * (c.commands.size() + 1);
        EXPECT_EQ(host.shown.back().text,
                  "IISを再起動しました  " +
                      FormatLocalTime(VirtualClock::kEpoch +
                                      static_cast<std::time_t>(restartEndMs / 1000)));

        // Monitoring goes on: the next tick is armed Interval seconds after the restart ended.
        EXPECT_EQ(host.armed.back().id, CheckTimer);
        EXPECT_EQ(host.armed.back().atMs, restartEndMs);
        EXPECT_EQ(host.armed.back().delayMs, 60000u);
        EXPECT_EQ(cycle.CycleBusy(), 0u);
        EXPECT_EQ(cycle.Stopped(), 0u);
    }
}

TEST_F(CycleTest, TicksComeOneSecondAfterStartThenIntervalAfterTheEndOfEachTick) {
    auto listener = std::make_unique<LoopbackOnlyListener>();
    host.controlPort = listener->Port();
    settings.Interval = 5;
    MonitorCycle& cycle = Cycle();
    clock.nowMs = 10000;
    cycle.Start();
    EXPECT_EQ(host.timers.at(CheckTimer), 11000u);

    // Tick starts are the "確認中 ..." texts; the second check fails and restarts.
    std::vector<std::uint64_t> starts;
    for (int tick = 0; tick < 3; ++tick) {
        if (tick == 1) {
            listener.reset();
        }
        if (tick == 2) {
            listener = std::make_unique<LoopbackOnlyListener>();
            host.controlPort = listener->Port();
        }
        const std::size_t before = host.shown.size();
        ASSERT_EQ(host.FireNext(), CheckTimer);
        starts.push_back(host.shown[before].atMs);
    }
    const std::uint64_t restartTick =
        550 + 1000 * 6 + 1000;  // six commands (defaults) and the pause
    EXPECT_EQ(starts[0], 11000u);
    EXPECT_EQ(starts[1], starts[0] + 1650 + 5000);
    EXPECT_EQ(starts[2], starts[1] + restartTick + 5000);
    EXPECT_EQ(host.armed.back().delayMs, 5000u);
}

TEST_F(CycleTest, StopBetweenTicksEndsMonitoringAndKeepsTheStatus) {
    LoopbackOnlyListener listener;
    host.controlPort = listener.Port();
    MonitorCycle& cycle = Cycle();
    cycle.Start();
    ASSERT_EQ(host.FireNext(), CheckTimer);
    const std::string last = cycle.StatusText;
    cycle.Stop();
    EXPECT_EQ(cycle.Stopped(), 1u);
    EXPECT_EQ(cycle.CycleBusy(), 1u);
    EXPECT_EQ(cycle.TestIdle(), 1u);
    EXPECT_EQ(host.FireNext(), 0);
    EXPECT_EQ(cycle.StatusText, last);
}

TEST_F(CycleTest, AutomaticStartRetriesEverySecondUntilATestSucceedsThenStartsAndHides) {
    settings.AutoStartupMode = 1;
    MonitorCycle& cycle = Cycle();
    cycle.ArmAutoStart();
    for (int attempt = 0; attempt < 3; ++attempt) {
        ASSERT_EQ(host.FireNext(), AutoStartTimer);
        EXPECT_EQ(cycle.StatusText, texts::TestFailed());
        EXPECT_EQ(host.timers.count(AutoStartTimer), 1u);
        EXPECT_EQ(cycle.Stopped(), 1u);
    }
    // The server is down meanwhile, yet nothing is ever restarted.
    EXPECT_TRUE(commands.empty());
    const std::vector<std::string> alternating{"確認中 ...", "接続テストに失敗しました。",
                                               "確認中 ...", "接続テストに失敗しました。",
                                               "確認中 ...", "接続テストに失敗しました。"};
    EXPECT_EQ(ShownTexts(), alternating);
    EXPECT_EQ(host.shown[2].atMs - host.shown[0].atMs, 2000u);

    LoopbackOnlyListener listener;
    host.controlPort = listener.Port();
    ASSERT_EQ(host.FireNext(), AutoStartTimer);
    const std::uint64_t succeededAt = clock.nowMs;
    EXPECT_EQ(cycle.StatusText, texts::TestSucceeded());
    EXPECT_EQ(cycle.Stopped(), 0u);
    EXPECT_EQ(host.timers.count(AutoStartTimer), 0u);
    EXPECT_EQ(host.timers.at(CheckTimer), succeededAt + 1000);
    EXPECT_EQ(host.timers.at(AutoHideTimer), succeededAt + 1000);
    // Both expire together; the first tick blocks the thread, so the hide follows it.
    for (int fired = 0; fired < 2; ++fired) {
        host.FireNext();
    }
    ASSERT_EQ(host.hiddenAtMs.size(), 1u);
    EXPECT_GE(host.hiddenAtMs[0], succeededAt + 1000);
    EXPECT_EQ(host.timers.count(AutoStartTimer), 0u);
}

TEST_F(CycleTest, MailAfterARestartLogsOnlyAFailureWithItsReason) {
    struct MailCase {
        int result;
        std::vector<std::string> extraLines;
    };
    const MailCase cases[] = {
        {1, {}}, {0, {"メールが送信出来ませんでした　理由：ホストが見つかりません。"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        Reset();
        settings.WithMail = 1;
        settings.From = "from@example.org";
        settings.To = "a@example.org;b@example.org";
        settings.Smtp = "127.0.0.1";
        settings.SmtpPort = 2525;
        std::vector<std::string> calls;
        mail = [&](const std::string& from, const std::string& to, const std::string& subject,
                   const std::string& body, const std::string& smtp, std::uint32_t port,
                   const MailSecurity&,
                   std::string& reason) {
            EXPECT_TRUE(reason.empty());
            calls.push_back(from + "|" + to + "|" + subject + "|" + body + "|" + smtp + "|" +
                            std::to_string(port));
            reason = Sjis("ホストが見つかりません。");
            return c.result;
        };
        MonitorCycle& cycle = Cycle();
        cycle.Start();
        ASSERT_EQ(host.FireNext(), CheckTimer);
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0], "from@example.org|a@example.org;b@example.org|" + DefaultSubject() +
                                "|" + DefaultBody() + "|127.0.0.1|2525");
        const auto lines = LogTexts();
        ASSERT_GE(lines.size(), 2u);
        const std::vector<std::string> tail(
            lines.end() - 1 - static_cast<long>(c.extraLines.size()), lines.end());
        std::vector<std::string> expected{"IISを再起動しました"};
        expected.insert(expected.end(), c.extraLines.begin(), c.extraLines.end());
        EXPECT_EQ(tail, expected);
        EXPECT_EQ(host.timers.count(CheckTimer), 1u);
        EXPECT_EQ(cycle.Stopped(), 0u);
    }
}

// A command whose program is not where programs may be run from (mtxstop on current Windows)
// and one ended at the runner's bound each leave a line after their own; the restart goes on.
TEST_F(CycleTest, SkippedAndEndedCommandsAreLoggedAndTheRestartGoesOn) {
    settings.CheckMsdtc = 1;
    // w3svc and iisadmin stop, msdtc reaches the bound, mtxstop is not run.
    commandOutcomes = {CommandOutcome::ExitedWith(0), CommandOutcome::ExitedWith(0),
                       {CommandEnd::EndedAtBound, 0, 300000}, {CommandEnd::Skipped, 0, 0}};
    MonitorCycle& cycle = Cycle();
    cycle.Start();
    ASSERT_EQ(host.FireNext(), CheckTimer);
    const std::vector<std::string> expected{
        "接続できませんでした IISの再起動を開始します",
        "World Wide Web Publishing Service を停止中...",
        "IIS Admin Service を停止中...",
        "Microsoft Distributed Transaction Coordinator Service を停止中...",
        "コマンドを終了しました（5分たっても終わりません）: command.com /C net stop msdtc",
        "サーバープロセスを停止中...",
        "コマンドを実行しませんでした（システムフォルダーにありません）: command.com /C mtxstop",
        "停止完了",
        "World Wide Web Publishing Service を開始中...",
        "FTP Publishing Service を開始中...",
        "Microsoft SMTP Service を開始中...",
        "Microsoft Distributed Transaction Coordinator Service を開始中...",
        "IISを再起動しました"};
    EXPECT_EQ(LogTexts(), expected);
    EXPECT_EQ(commands.size(), 8u);
}

// A refused reading at a tick leaves the refused number in Interval, as the window keeps it;
// the tick skips the probe (a number out of range must not restart a healthy server) and re-arms
// with the last interval that was accepted, never with the refused one.
TEST_F(CycleTest, RefusedReadingAtATickSkipsTheProbeAndReArmsWithTheLastAcceptedInterval) {
    LoopbackOnlyListener listener;
    host.controlPort = listener.Port();
    settings.Interval = 30;
    MonitorCycle& cycle = Cycle();
    cycle.Start();
    ASSERT_EQ(host.FireNext(), CheckTimer);
    EXPECT_EQ(host.armed.back().delayMs, 30000u);

    struct Case {
        std::uint32_t interval;
        bool refused;  // else a host that lets the number through
    };
    const Case cases[] = {
        {0, true}, {100000, true}, {0xFFFFFFFFu, true}, {0, false}, {0xFFFFFFFFu, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.interval) + (c.refused ? " refused" : " let through"));
        host.refuseReading = c.refused;
        settings.Interval = c.interval;
        host.shown.clear();
        ASSERT_EQ(host.FireNext(), CheckTimer);
        EXPECT_EQ(host.shown.empty(), c.refused) << "a refused reading probes nothing";
        ASSERT_EQ(host.timers.count(CheckTimer), 1u);
        EXPECT_EQ(host.armed.back().delayMs, 30000u);
        EXPECT_EQ(cycle.CycleBusy(), 0u);
    }

    // The next accepted reading is the interval from then on.
    host.refuseReading = false;
    settings.Interval = 7;
    ASSERT_EQ(host.FireNext(), CheckTimer);
    EXPECT_EQ(host.armed.back().delayMs, 7000u);
    EXPECT_TRUE(commands.empty());
}

// Start reads the fields first, as a tick does: a refused reading leaves the monitor stopped
// with nothing armed, so the refusal is shown once and never again by itself. A refused
// connection test changes nothing; one in the automatic start ends the automatic start.
TEST_F(CycleTest, RefusedReadingRefusesStartTheTestAndTheAutomaticStart) {
    settings.Interval = 0;
    settings.AutoStartupMode = 1;
    host.refuseReading = true;
    MonitorCycle& cycle = Cycle();

    cycle.Start();
    EXPECT_EQ(cycle.Stopped(), 1u);
    EXPECT_TRUE(host.timers.empty());

    cycle.StatusText = "before";
    cycle.ConnectionTest();
    EXPECT_EQ(cycle.StatusText, "before");
    EXPECT_EQ(cycle.TestIdle(), 1u);

    cycle.ArmAutoStart();
    ASSERT_EQ(host.FireNext(), AutoStartTimer);
    EXPECT_TRUE(host.timers.empty()) << "no retry that would ask again every second";
    EXPECT_EQ(cycle.Stopped(), 1u);
    EXPECT_TRUE(commands.empty());
}

// The test says what it found as a value, shows it as the status, and returns to the state it
// interrupted: the automatic start may test while a monitor started by hand runs.
TEST_F(CycleTest, ConnectionTestReturnsItsResultAndTheStateItInterrupted) {
    struct Case {
        const char* name;
        bool refused, listening, running;
        ConnectionTestResult result;
        CycleState after;
    };
    const Case cases[] = {
        {"refused", true, true, false, ConnectionTestResult::ReadingRefused, CycleState::Stopped},
        {"succeeded", false, true, false, ConnectionTestResult::Succeeded, CycleState::Stopped},
        {"failed", false, false, false, ConnectionTestResult::Failed, CycleState::Stopped},
        {"succeeded while waiting", false, true, true, ConnectionTestResult::Succeeded,
         CycleState::Waiting},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        std::unique_ptr<LoopbackOnlyListener> listener;
        if (c.listening) {
            listener = std::make_unique<LoopbackOnlyListener>();
            host.controlPort = listener->Port();
        }
        MonitorCycle& cycle = Cycle();
        if (c.running) {
            cycle.Start();
            ASSERT_EQ(host.FireNext(), CheckTimer);
        }
        host.refuseReading = c.refused;
        host.shown.clear();
        host.shownIn.clear();
        EXPECT_EQ(cycle.ConnectionTest(), c.result);
        EXPECT_EQ(cycle.State(), c.after);
        if (c.result == ConnectionTestResult::ReadingRefused) {
            EXPECT_TRUE(host.shown.empty());
            continue;
        }
        ASSERT_EQ(host.shownIn.size(), 2u);
        EXPECT_EQ(host.shownIn[0], CycleState::Testing);
        EXPECT_EQ(Sjis(host.shown[1].text), c.result == ConnectionTestResult::Succeeded
                                                ? texts::TestSucceeded()
                                                : texts::TestFailed());
        host.refuseReading = false;
    }
}

// The failure threshold, the grace after a restart and the restart limit, in virtual time: each
// case a run of check results and what each tick came to. The checks are answered by the test;
// restarts run four commands (FTP and SMTP off) that take a second each, plus the settling pause.
// Ticks come Interval (60 s) after the end of the one before; a check is made 550 ms into its tick.
class CycleRulesTest : public CycleTest {
protected:
    void SetUp() override {
        CycleTest::SetUp();
        settings.CheckFtpSvc = 0;
        settings.CheckSmtpSvc = 0;
        check = [this](const CheckTarget& target, Socket&) {
            targets.push_back(target);
            CheckResult result;
            result.ok = answers.at(checked++) == '.';
            result.reason = result.ok ? "" : "status 503";
            result.httpStatus = result.ok ? 200 : 503;
            result.durationMs = 20;
            return result;
        };
    }

    // Runs one tick per answer ('.' answered, 'F' failed) and tells what each came to: "restart",
    // "ok", or the last status shown, followed by the log lines the tick wrote outside a restart.
    std::vector<std::string> Run(const std::string& run) {
        answers = run;
        checked = 0;
        std::vector<std::string> outcomes;
        Cycle().Start();
        for (std::size_t tick = 0; tick < run.size(); ++tick) {
            const std::size_t commandsBefore = commands.size();
            const std::size_t linesBefore = LogTexts().size();
            EXPECT_EQ(host.FireNext(), CheckTimer);
            std::string outcome = host.shown.back().text;
            if (commands.size() != commandsBefore) {
                outcome = "restart";
            } else {
                if (outcome.rfind("確認  ", 0) == 0) {
                    outcome = "ok";
                }
                const auto lines = LogTexts();
                for (std::size_t i = linesBefore; i < lines.size(); ++i) {
                    outcome += " | log: " + lines[i];
                }
            }
            outcomes.push_back(outcome);
        }
        return outcomes;
    }

    std::string answers;
    std::size_t checked = 0;
    std::vector<CheckTarget> targets;
};

TEST_F(CycleRulesTest, ThresholdGraceAndLimitDecideEachTick) {
    struct Case {
        const char* name;
        std::uint32_t threshold, grace, limit, window;
        std::string run;
        std::vector<std::string> outcomes;
    };
    const std::string recovered = "応答が戻りました（再起動の開始から ";
    const Case cases[] = {
        // Restart at 1 s; the next check at 67 s answers.
        {"defaults", 1, 0, 0, 60, "F.", {"restart", recovered + "66 秒） | log: " + recovered + "66 秒）"}},
        {"every failure restarts by default", 1, 0, 0, 60, "FFF", {"restart", "restart", "restart"}},
        // A success resets the count; only the third failure in a row restarts.
        {"threshold",
         3, 0, 0, 60, "FF.FFF",
         {"応答がありません（1/3）", "応答がありません（2/3）", "ok", "応答がありません（1/3）",
          "応答がありません（2/3）", "restart"}},
        // A restart resets the count too.
        {"threshold after a restart", 2, 0, 0, 60, "FFFF",
         {"応答がありません（1/2）", "restart", "応答がありません（1/2）", "restart"}},
        // The restart ends at 6 s: the grace lasts to 126 s. The check at 67 s is not counted, the
        // one at 127 s is; the grace of that restart (ended at 132 s) covers 193 s; 253 s answers.
        {"grace runs out",
         1, 120, 0, 60, "FFFF.",
         {"restart", "応答がありません（再起動後の猶予中）", "restart",
          "応答がありません（再起動後の猶予中）",
          recovered + "126 秒） | log: " + recovered + "126 秒）"}},
        // The first success ends the grace.
        {"grace ends with a success", 1, 3600, 0, 60, "F.F",
         {"restart", recovered + "66 秒） | log: " + recovered + "66 秒）", "restart"}},
        // Restarts began at 1 s and 67 s, both within the hour: the third is not started, and
        // restarts stay stopped until the server answers (253 s, 186 s after the last restart
        // began); then they are allowed again.
        {"limit",
         1, 0, 2, 60, "FFFF.F",
         {"restart", "restart",
          "再起動を中止しました（60 分間に 2 回） | log: 再起動を中止しました（60 分間に 2 回）",
          "再起動を中止しました（60 分間に 2 回）",
          recovered + "186 秒） | log: " + recovered + "186 秒）", "restart"}},
        // Each restart lies 66 s before the next failure: outside a window of one minute.
        {"restarts older than the window do not count", 1, 0, 1, 1, "FFF",
         {"restart", "restart", "restart"}},
        {"limit under a threshold",
         2, 0, 1, 60, "FFFF",
         {"応答がありません（1/2）", "restart", "応答がありません（1/2）",
          "再起動を中止しました（60 分間に 1 回） | log: 再起動を中止しました（60 分間に 1 回）"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        settings.FailureThreshold = c.threshold;
        settings.RestartGrace = c.grace;
        settings.RestartLimit = c.limit;
        settings.RestartWindow = c.window;
        EXPECT_EQ(Run(c.run), c.outcomes);
        // Whatever a tick came to, monitoring goes on at Interval.
        EXPECT_EQ(host.armed.back().delayMs, 60000u);
        EXPECT_EQ(Cycle().CycleBusy(), 0u);
    }
}

// Restarts log what each command came to, right after its step; the figures count them.
TEST_F(CycleRulesTest, ACommandThatFailsIsNamedRightAfterItsStep) {
    commandOutcomes = {CommandOutcome::ExitedWith(2, 1000), CommandOutcome::ExitedWith(0, 1000),
                       CommandOutcome{CommandEnd::NotStarted, 0, 0}};
    EXPECT_EQ(Run("F"), std::vector<std::string>{"restart"});
    const std::vector<std::string> expected{
        "接続できませんでした IISの再起動を開始します",
        "World Wide Web Publishing Service を停止中...",
        "コマンドが失敗しました（終了コード 2）: command.com /C net stop w3svc /y",
        "IIS Admin Service を停止中...",
        "サーバープロセスを停止中...",
        "コマンドを開始できませんでした: command.com /C mtxstop",
        "停止完了",
        "World Wide Web Publishing Service を開始中...",
        "IISを再起動しました"};
    EXPECT_EQ(LogTexts(), expected);
    EXPECT_EQ(Cycle().Figures().restarts, 1u);
    EXPECT_EQ(Cycle().Figures().commandFailures, 2u);
    EXPECT_EQ(Cycle().Figures().lastRestart, VirtualClock::kEpoch + 1);
}

// The check is built from the settings in force; a value a hand-edited store broke counts as
// its default. The connection test makes the same check.
TEST_F(CycleRulesTest, TheCheckIsBuiltFromTheSettingsInForce) {
    settings.CheckPath = "/health?x=1";
    settings.CheckHost = "www.example.jp";
    settings.CheckStatus = "200,301-302";
    settings.CheckText = Sjis("稼働中");
    settings.CheckTimeout = 5;
    settings.CheckTls = 1;
    settings.CheckVerify = "fingerprint";
    // As people copy it: upper case, pairs separated by colons.
    std::string copied;
    for (int pair = 0; pair < 32; ++pair) {
        copied += (pair == 0 ? "" : ":") + std::string(pair % 2 == 0 ? "AB" : "0f");
    }
    settings.CheckFingerprint = copied;
    answers = "..";
    Run(".");
    ASSERT_EQ(targets.size(), 1u);
    EXPECT_EQ(targets[0].host, "127.0.0.1");
    EXPECT_EQ(targets[0].port, host.controlPort);
    EXPECT_EQ(targets[0].path, "/health?x=1");
    EXPECT_EQ(targets[0].hostHeader, "www.example.jp");
    ASSERT_EQ(targets[0].accepted.size(), 2u);
    EXPECT_EQ(targets[0].accepted[1].low, 301u);
    EXPECT_EQ(targets[0].accepted[1].high, 302u);
    EXPECT_EQ(targets[0].text, "稼働中");  // looked for as UTF-8
    EXPECT_EQ(targets[0].timeoutSeconds, 5u);
    EXPECT_TRUE(targets[0].tls);
    EXPECT_EQ(targets[0].tlsPeer.verify, TlsVerify::Fingerprint);
    std::string normalized;
    for (int pair = 0; pair < 32; ++pair) {
        normalized += pair % 2 == 0 ? "ab" : "0f";
    }
    EXPECT_EQ(targets[0].tlsPeer.fingerprint, normalized);
    // The certificate's name follows the Host header, as the check itself decides it.
    EXPECT_EQ(targets[0].tlsPeer.host, "");
    EXPECT_TRUE(Cycle().Figures().http);
    EXPECT_EQ(Cycle().Figures().httpStatus, 200u);

    settings.CheckPath = "no-slash";
    settings.CheckStatus = "abc";
    settings.CheckTimeout = 0;
    settings.CheckTls = 2;
    settings.CheckVerify = "all";
    settings.CheckFingerprint = "ab";
    answers = ".";
    checked = 0;
    EXPECT_EQ(Cycle().ConnectionTest(), ConnectionTestResult::Succeeded);
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[1].path, "");
    ASSERT_EQ(targets[1].accepted.size(), 1u);
    EXPECT_EQ(targets[1].accepted[0].low, 200u);
    EXPECT_EQ(targets[1].accepted[0].high, 399u);
    EXPECT_EQ(targets[1].timeoutSeconds, 10u);
    EXPECT_FALSE(targets[1].tls);
    EXPECT_EQ(targets[1].tlsPeer.verify, TlsVerify::None);
    EXPECT_EQ(targets[1].tlsPeer.fingerprint, "");

    settings.CheckTls = 1;
    settings.CheckVerify = "full";
    answers = ".";
    checked = 0;
    EXPECT_EQ(Cycle().ConnectionTest(), ConnectionTestResult::Succeeded);
    ASSERT_EQ(targets.size(), 3u);
    EXPECT_TRUE(targets[2].tls);
    EXPECT_EQ(targets[2].tlsPeer.verify, TlsVerify::Full);
}

// Stop and Start begin counting afresh: a limit reached before no longer holds.
TEST_F(CycleRulesTest, StopLiftsTheLimit) {
    settings.RestartLimit = 1;
    EXPECT_EQ(Run("FF"), (std::vector<std::string>{
                             "restart", "再起動を中止しました（60 分間に 1 回） | log: "
                                        "再起動を中止しました（60 分間に 1 回）"}));
    Cycle().Stop();
    EXPECT_EQ(Run("F"), std::vector<std::string>{"restart"});
}

// With mail on: one mail when the limit stops restarts, none while they stay stopped; with
// MailOnRecovery a second one when the server answers again. Each names what failed, each
// command with its exit code and duration, and the time to recovery.
TEST_F(CycleRulesTest, ReportMailsAfterTheLimitAndTheRecovery) {
    settings.WithMail = 1;
    settings.MailOnRecovery = 1;
    settings.RestartLimit = 1;
    commandOutcomes = {CommandOutcome::ExitedWith(0, 1040), CommandOutcome::ExitedWith(2, 960),
                CommandOutcome{CommandEnd::NotStarted, 0, 0}};
    std::vector<std::pair<std::string, std::string>> sent;  // subject, body (UTF-8)
    mail = [&](const std::string&, const std::string&, const std::string& subject,
               const std::string& body, const std::string&, std::uint32_t, const MailSecurity&, std::string&) {
        sent.push_back({Cp932ToUtf8(subject), Cp932ToUtf8(body)});
        return 1;
    };
    Run("FFF.");
    const std::string commandsReport =
        "再起動のコマンド:\r\n"
        "  command.com /C net stop w3svc /y: 終了コード 0（1.0 秒）\r\n"
        "  command.com /C net stop iisadmin /y: 終了コード 2（1.0 秒）\r\n"
        "  command.com /C mtxstop: 開始できませんでした（0.0 秒）\r\n"
        "  command.com /C net start w3svc: 終了コード 0（0.0 秒）\r\n";
    ASSERT_EQ(sent.size(), 3u);
    // The restart's own mail, as it always was.
    EXPECT_EQ(sent[0].first, Cp932ToUtf8(DefaultSubject()));
    EXPECT_EQ(sent[0].second, Cp932ToUtf8(DefaultBody()));
    const std::string stopped = "再起動を中止しました（60 分間に 1 回）";
    EXPECT_EQ(sent[1].first, Cp932ToUtf8(DefaultSubject()) + " " + stopped);
    EXPECT_EQ(sent[1].second, stopped + "\r\n失敗した確認: status 503\r\n" + commandsReport +
                                  "応答はまだ戻っていません。\r\n");
    // The third check fails while stopped: no mail. The fourth answers at 188 s.
    const std::string recovered = "応答が戻りました（再起動の開始から 187 秒）";
    EXPECT_EQ(sent[2].first, Cp932ToUtf8(DefaultSubject()) + " " + recovered);
    EXPECT_EQ(sent[2].second, recovered + "\r\n失敗した確認: status 503\r\n" + commandsReport);
    EXPECT_EQ(Cycle().Figures().mailsSent, 3u);
}

// Each event goes to the event log with its texts as the log has them, once, when it happens:
// the restart with what failed, each command that did not succeed with how it ended, its end,
// the limit, the recovery and every mail that failed with the reason.
TEST_F(CycleRulesTest, EventsAreReportedWithTheirTexts) {
    settings.WithMail = 1;
    settings.MailOnRecovery = 1;
    settings.RestartLimit = 1;
    commandOutcomes = {CommandOutcome::ExitedWith(0), CommandOutcome::ExitedWith(2),
                       CommandOutcome{CommandEnd::NotStarted, 0, 0}};
    mail = [&](const std::string&, const std::string&, const std::string&, const std::string&,
               const std::string&, std::uint32_t, const MailSecurity&, std::string& reason) {
        reason = Sjis("ホストが見つかりません。");
        return 0;
    };
    Run("FFF.");
    using E = CycleEvent;
    const std::string noMail = "ホストが見つかりません。";
    const std::vector<std::pair<CycleEvent, std::vector<std::string>>> expected{
        {E::RestartBegun, {"status 503"}},
        {E::CommandFailed, {"command.com /C net stop iisadmin /y", "終了コード 2"}},
        {E::CommandFailed, {"command.com /C mtxstop", "開始できませんでした"}},
        {E::RestartEnded, {}},
        {E::MailFailed, {noMail}},
        {E::LimitReached, {"再起動を中止しました（60 分間に 1 回）"}},
        {E::MailFailed, {noMail}},
        // The third check fails while stopped: nothing new to report.
        {E::Recovered, {"応答が戻りました（再起動の開始から 187 秒）"}},
        {E::MailFailed, {noMail}},
    };
    std::vector<std::pair<CycleEvent, std::vector<std::string>>> reported;
    for (const auto& [event, texts] : events) {
        std::vector<std::string> utf8;
        for (const std::string& text : texts) {
            utf8.push_back(Cp932ToUtf8(text));
        }
        reported.push_back({event, utf8});
    }
    ASSERT_EQ(reported.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(reported[i].first, expected[i].first);
        EXPECT_EQ(reported[i].second, expected[i].second);
    }
}

}  // namespace
}  // namespace tolvane
