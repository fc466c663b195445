// What tolvanectl monitor prints as a service's journal keeps it, and how it takes settings
// changed beside it: a real listener, real stand-ins, real `set`s.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "os/Process.h"
#include "tests/support/PosixSupport.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ReadFile;
using test::WriteFile;

// The printed lines' texts, each line checked for its "time TAB" first.
std::vector<std::string> PrintedTexts(const std::string& printed) {
    std::vector<std::string> texts;
    for (std::size_t at = 0; at < printed.size();) {
        const auto end = printed.find('\n', at);
        if (end == std::string::npos) {
            ADD_FAILURE() << "a line without its end: " << printed.substr(at);
            break;
        }
        const std::string line = printed.substr(at, end - at);
        EXPECT_TRUE(line.size() > 20 && line[19] == '\t') << line;
        texts.push_back(line.substr(std::min<std::size_t>(20, line.size())));
        at = end + 1;
    }
    return texts;
}

bool IsAnswer(const std::string& text) {
    return text.starts_with("確認  ") && text.ends_with("  OK");
}

// tolvanectl monitor with the stand-ins beside it, a services map of its own and its output
// in files; the test listener stands for the web server.
class MonitorRun {
public:
    MonitorRun()
        : install_(TOLVANE_BIN_DIR, {"tolvanectl", "command.com", "net", "mtxstop"}),
          port_(test::PortFreeEverywhere()) {
        ::unsetenv("TOLVANE_SERVICES");
    }
    ~MonitorRun() {
        if (monitor_.Started() && monitor_.Poll().running) {
            monitor_.End();
        }
        // The listener a restart started runs in the service command's group.
        if (const pid_t restarted = test::ReadPid(PidFile()); restarted > 0) {
            ::kill(restarted, SIGKILL);
        }
    }

    test::PrivateInstall& Install() { return install_; }
    std::uint16_t Port() const { return port_; }
    std::string Out() const { return ReadFile(install_.dir.File("monitor.out")); }
    std::string Err() const { return ReadFile(install_.dir.File("monitor.err")); }
    std::string Figures() const { return install_.dir.File("figures.prom"); }
    std::string PidFile() const { return install_.dir.File("listener.pid"); }

    // The web server's stop kills the listener and its start brings it back.
    void MapTheListener() {
        const std::string calls = install_.dir.File("calls");
        WriteFile(install_.dir.File("services.conf"),
                  "w3svc.stop = sh -c \"kill $(cat " + PidFile() + "); rm -f " + PidFile() +
                      "\"\n"
                      "w3svc.start = sh -c \"" +
                      TEST_LISTENER + " " + std::to_string(port_) + " " + PidFile() +
                      " >/dev/null 2>&1 &\"\n"
                      "iisadmin.stop = true\n"
                      "mtxstop = true\n");
    }
    bool StartListener(std::uint16_t port) {
        return listener_.Start(
                   std::vector<std::string>{TEST_LISTENER, std::to_string(port), PidFile()}) &&
               test::WaitUntil([&] { return test::ReadPid(PidFile()) > 0; }, 10s);
    }
    void KillListener() {
        ::kill(listener_.Pid(), SIGKILL);
        listener_.WaitForEnd("the test listener to end on SIGKILL");
        fs::remove(PidFile());
    }
    bool Start(const std::vector<std::string>& arguments) {
        std::string line = "exec " + test::ShellQuote(install_.Bin("tolvanectl"));
        for (const auto& argument : arguments) {
            line += " " + argument;
        }
        return monitor_.Start(std::vector<std::string>{
            "sh", "-c",
            "LC_ALL=C.UTF-8 " + line + " >" + test::ShellQuote(install_.dir.File("monitor.out")) +
                " 2>" + test::ShellQuote(install_.dir.File("monitor.err"))});
    }
    // Waits until the monitor has made `checks` more checks: it writes its figures after each.
    bool MoreChecks(int checks) {
        for (int i = 0; i < checks; ++i) {
            fs::remove(Figures());
            if (!test::WaitUntil([&] { return fs::exists(Figures()); }, 30s)) {
                return false;
            }
        }
        return true;
    }
    bool Printed(const std::string& text) {
        return test::WaitUntil([&] { return Out().find(text) != std::string::npos; }, 60s);
    }
    int Stop() {
        ::kill(monitor_.Pid(), SIGTERM);
        return monitor_.WaitForEnd("tolvanectl monitor to end on SIGTERM").exitCode;
    }

private:
    test::PrivateInstall install_;
    std::uint16_t port_;
    test::TestChild listener_;
    test::TestChild monitor_;
};

// Answering, failing, a restart and answering again: the journal gets each change of state
// once and the restart log's lines, however many checks come between; --verbose adds every
// check's lines.
TEST(MonitorOutput, PrintsChangesOfStateAndTheRestartEveryCheckOnlyWhenVerbose) {
    const test::MachineName machine = test::OwnMachineName();
    ASSERT_TRUE(machine.address) << machine.Need();
    for (const bool verbose : {false, true}) {
        SCOPED_TRACE(verbose ? "--verbose" : "without --verbose");
        MonitorRun run;
        run.MapTheListener();
        ASSERT_EQ(run.Install()
                      .Run({"set", "Port=" + std::to_string(run.Port()), "Interval=1",
                            "FailureThreshold=2", "CheckFtpSvc=0", "CheckSmtpSvc=0",
                            "MetricsFile=" + run.Figures()})
                      .exitCode,
                  0);
        ASSERT_TRUE(run.StartListener(run.Port()));
        ASSERT_TRUE(run.Start(verbose ? std::vector<std::string>{"monitor", "--verbose"}
                                      : std::vector<std::string>{"monitor"}));
        ASSERT_TRUE(run.Printed("  OK\n")) << "waited for the first answer\n" << run.Out();
        ASSERT_TRUE(run.MoreChecks(2)) << "waited for two more checks";
        run.KillListener();
        ASSERT_TRUE(run.Printed("応答が戻りました")) << "waited for the recovery\n" << run.Out();
        ASSERT_TRUE(run.MoreChecks(2)) << "waited for two more checks";
        EXPECT_EQ(run.Stop(), 0);

        const std::vector<std::string> printed = PrintedTexts(run.Out());
        const std::vector<std::string> restart{
            "接続できませんでした IISの再起動を開始します",
            "World Wide Web Publishing Service を停止中...",
            "IIS Admin Service を停止中...",
            "サーバープロセスを停止中...",
            "停止完了",
            "World Wide Web Publishing Service を開始中...",
            "IISを再起動しました",
        };
        if (!verbose) {
            // At least six checks; one line each for their three states, and the log's lines.
            ASSERT_EQ(printed.size(), 11u) << run.Out();
            EXPECT_TRUE(IsAnswer(printed[0])) << printed[0];
            EXPECT_EQ(printed[1], "応答がありません（1/2）");
            EXPECT_EQ(std::vector<std::string>(printed.begin() + 2, printed.begin() + 9), restart);
            EXPECT_TRUE(IsAnswer(printed[9])) << printed[9];
            EXPECT_TRUE(printed[10].starts_with("応答が戻りました（再起動の開始から "))
                << printed[10];
            continue;
        }
        // Every check's lines, and each restart step once: its status line says it.
        int checks = 0;
        int answers = 0;
        for (const auto& text : printed) {
            checks += text == "確認中 ..." ? 1 : 0;
            answers += IsAnswer(text) ? 1 : 0;
        }
        EXPECT_GE(checks, 6) << run.Out();
        EXPECT_GE(answers, 4) << run.Out();
        for (const auto& step : restart) {
            EXPECT_EQ(std::count(printed.begin(), printed.end(), step), 1) << step;
        }
        EXPECT_EQ(std::count(printed.begin(), printed.end(), "応答がありません（1/2）"), 1);
    }
}

// A `set` beside the running monitor reaches it at its next check; a stored value that
// breaks its rule is said once and the settings in force stay.
TEST(MonitorOutput, TakesChangedSettingsAtTheNextCheck) {
    const test::MachineName machine = test::OwnMachineName();
    ASSERT_TRUE(machine.address) << machine.Need();
    MonitorRun run;
    WriteFile(run.Install().dir.File("services.conf"), "");
    // Nothing answers on the first port; no restart comes before the hundredth failure.
    ASSERT_EQ(run.Install()
                  .Run({"set", "Port=" + std::to_string(test::UnusedLoopbackPort()), "Interval=1",
                        "FailureThreshold=100", "MetricsFile=" + run.Figures()})
                  .exitCode,
              0);
    ASSERT_TRUE(run.Start({"monitor", "--verbose"}));
    ASSERT_TRUE(run.Printed("応答がありません（1/100）")) << run.Out();
    ASSERT_TRUE(run.StartListener(run.Port()));

    const test::RunResult set = run.Install().Run({"set", "Port=" + std::to_string(run.Port())});
    EXPECT_EQ(set.exitCode, 0);
    EXPECT_NE(set.err.find("tolvanectl monitor (process "), std::string::npos) << set.err;
    EXPECT_NE(set.err.find(") takes the change at its next check\n"), std::string::npos);
    const std::string reread =
        "the settings were read again from " + run.Install().Store() + "; changed: Port\n";
    ASSERT_TRUE(run.Printed(reread)) << run.Out();
    ASSERT_TRUE(run.Printed("  OK\n")) << "waited for an answer on the new port\n" << run.Out();
    // Nothing is read again while the store stays as it is.
    ASSERT_TRUE(run.MoreChecks(2));
    EXPECT_EQ(test::CountOf(run.Out(), "read again"), 1u) << run.Out();

    // A hand edit that breaks Port's rule, written as an editor saves: the new file renamed
    // over the old one.
    std::string stored = ReadFile(run.Install().Store());
    const auto at = stored.find("\"Port\"=dword:");
    ASSERT_NE(at, std::string::npos) << stored;
    stored.replace(at, 21, "\"Port\"=dword:00011170");  // 70000
    WriteFile(run.Install().Store() + ".edit", stored);
    fs::rename(run.Install().Store() + ".edit", run.Install().Store());
    ASSERT_TRUE(test::WaitUntil(
        [&] { return run.Err().find("were not taken: ") != std::string::npos; }, 30s))
        << run.Err();
    const std::size_t answersBefore = test::CountOf(run.Out(), "  OK\n");
    ASSERT_TRUE(run.MoreChecks(2));
    // The port in force still answers, and the refusal was said once.
    EXPECT_GE(test::CountOf(run.Out(), "  OK\n"), answersBefore + 2) << run.Out();
    EXPECT_EQ(test::CountOf(run.Err(), "were not taken: "), 1u) << run.Err();
    EXPECT_NE(run.Err().find("were not taken: Port 70000: Please enter an integer between 0 and 65535. "
                             "The monitor goes on with the settings in force.\n"),
              std::string::npos)
        << run.Err();
    EXPECT_EQ(test::CountOf(run.Out(), "read again"), 1u) << run.Out();
    EXPECT_EQ(run.Stop(), 0);
    run.KillListener();
}

}  // namespace
}  // namespace tolvane
