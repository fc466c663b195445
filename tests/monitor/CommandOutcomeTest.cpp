// What the log says of the restart's commands when real children fail: the cycle with the real
// check against a port nobody listens on and the real CommandRunner, each row's command line
// standing for a real program that ends as a service command may.
#include <gtest/gtest.h>

#include <map>

#include "monitor/MonitorCycle.h"
#include "os/CodePage.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

// Pauses pass at once: the runner polls its children without sleeping.
class InstantClock final : public Clock {
public:
    void Pause(std::uint32_t) override {}
    std::time_t Now() override { return 1700000000; }
};

class QuietHost final : public MonitorHost {
public:
    bool ReadControls() override { return true; }
    void ShowStatus() override {}
    void Repaint() override {}
    void ArmTimer(int, std::uint32_t) override {}
    void KillTimer(int) override {}
};

TEST(CommandOutcome, FailingAndMissingCommandsAreNamedWithHowTheyEnded) {
    const std::map<std::string, std::string> realCommand{
        {"command.com /C net stop w3svc /y", "sh -c \"exit 2\""},
        {"command.com /C net stop iisadmin /y", "true"},
        {"command.com /C mtxstop", "/no/such/folder/mtxstop"},
        {"command.com /C net start w3svc", "sh -c \"kill -KILL $$\""},
    };
    test::TempDir dir;
    InstantClock clock;
    RestartLog log(clock, dir.Path() + "/");
    Settings settings;
    settings.Port = test::UnusedLoopbackPort();
    settings.CheckFtpSvc = 0;
    settings.CheckSmtpSvc = 0;
    QuietHost host;
    CycleParts parts;
    parts.clock = &clock;
    parts.log = &log;
    parts.computerName = [] { return std::string("127.0.0.1"); };
    parts.runCommand = [&](const std::string& line, RepaintTarget* window) {
        return CommandRunner::Run(realCommand.at(line), window, clock);
    };
    MonitorCycle cycle(settings, host, parts);
    cycle.Start();
    cycle.OnTimer(CheckTimer);

    const std::string expected =
        "接続できませんでした IISの再起動を開始します\n"
        "World Wide Web Publishing Service を停止中...\n"
        "コマンドが失敗しました（終了コード 2）: command.com /C net stop w3svc /y\n"
        "IIS Admin Service を停止中...\n"
        "サーバープロセスを停止中...\n"
        "コマンドを開始できませんでした: command.com /C mtxstop\n"
        "停止完了\n"
        "World Wide Web Publishing Service を開始中...\n"
        "コマンドが失敗しました（終了コード 137）: command.com /C net start w3svc\n"
        "IISを再起動しました\n";
    std::string texts;
    const std::string contents = test::ReadFile(log.Path());
    for (std::size_t at = 0; at < contents.size();) {
        const auto end = contents.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        texts += Cp932ToUtf8(contents.substr(at + 20, end - at - 20)) + "\n";
        at = end + 2;
    }
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(cycle.Figures().commandFailures, 3u);
}

}  // namespace
}  // namespace tolvane
