// tolvanectl's mail as users meet it: a private install of the executables, a private
// settings store, and the real aiosmtpd server.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "os/Process.h"
#include "tests/mail/MailTestSupport.h"
#include "tests/support/PosixSupport.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace std::string_literals;
using test::ReadFile;
using test::SmtpSink;
using test::TempDir;
using test::WriteFile;

// The install of these tests: the restart commands succeed at once, mail goes to the sink.
class Install : public test::PrivateInstall {
public:
    Install()
        : PrivateInstall(TOLVANE_BIN_DIR,
                         {"tolvanectl", "command.com", "net", "mtxstop", "CSCRIPT.EXE"}) {
        WriteFile(
            dir.File("services.conf"),
            "w3svc.stop = true\nw3svc.start = true\niisadmin.stop = true\nsmtpsvc.start = true\n"
            "mtxstop = true\n");
        ::setenv("TOLVANE_SERVICES", dir.File("services.conf").c_str(), 1);
    }

    std::string Log() const { return ReadFile(LogPath()); }
};

using Result = test::RunResult;
using test::CountOf;

class TolvanectlMailTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sink.Running()) << sink.StartError();
        ASSERT_EQ(install
                      .Run({"set", "From=  watchdog@example.com\t",
                            "To=admin@example.com;ops@example.com", "Subject=IIS 再起動",
                            "Body=再起動しました。\\r\\n.\\r\\n以上", "Smtp=127.0.0.1",
                            "SmtpPort=" + std::to_string(sink.Port())})
                      .exitCode,
                  0);
    }

    // tolvanectl monitor with mail on, against a port where nothing listens, until the first
    // restart has ended with its mail or its mail failure.
    void MonitorOneRestart(const std::string& mailFailure) {
        ASSERT_EQ(install
                      .Run({"set", "Port=" + std::to_string(test::UnusedLoopbackPort()),
                            "Interval=3600", "WithMail=1"})
                      .exitCode,
                  0);
        test::TestChild monitor;
        ASSERT_TRUE(
            monitor.Start(std::vector<std::string>{"sh", "-c", install.Command({"monitor"})}));
        const bool ended = test::WaitUntil(
            [&] {
                const std::string log = install.Log();
                return log.find(mailFailure) != std::string::npos ||
                       (log.find(test::Cp932("IISを再起動しました\r\n")) != std::string::npos &&
                        sink.Count() > 0);
            },
            120s);
        std::this_thread::sleep_for(500ms);
        ::kill(monitor.Pid(), SIGTERM);
        EXPECT_EQ(monitor.WaitForEnd("tolvanectl monitor to end on SIGTERM").exitCode, 0);
        ASSERT_TRUE(ended) << "waited for the restart and its mail\n" << test::Utf8(install.Log());
    }

    SmtpSink sink;
    Install install;
};

TEST_F(TolvanectlMailTest, MonitorMailsOnceAfterARestart) {
    MonitorOneRestart(test::Cp932("メールが送信出来ませんでした"));
    const auto mails = sink.Messages();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].recipients,
              (std::vector<std::string>{"admin@example.com", "ops@example.com"}));
    EXPECT_EQ(mails[0].subject, "IIS 再起動");
    EXPECT_EQ(mails[0].body, "再起動しました。\r\n.\r\n以上\r\n");
    EXPECT_EQ(CountOf(install.Log(), test::Cp932("メールが送信出来ませんでした")), 0u);
}

TEST_F(TolvanectlMailTest, MonitorLogsOnceWhenTheServerIsDown) {
    sink.Stop();
    const std::string line =
        test::Cp932("\tメールが送信出来ませんでした　理由：ホストに接続できません。\r\n");
    MonitorOneRestart(line);
    const std::string log = install.Log();
    EXPECT_EQ(CountOf(log, line), 1u) << test::Utf8(log);
    EXPECT_EQ(CountOf(log, test::Cp932("メールが送信出来ませんでした")), 1u);
}

TEST_F(TolvanectlMailTest, SendTestMailTrimsAddressesAndSends) {
    const Result result = install.Run({"send-test-mail"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "メールを送信しました。送信したメールを確認して下さい。\n");
    ASSERT_TRUE(sink.WaitForMessages(1, 10s));
    const auto mails = sink.Messages();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].from, "watchdog@example.com");
    EXPECT_NE(mails[0].raw.find("From: <watchdog@example.com>\r\n"), std::string::npos);
}

TEST_F(TolvanectlMailTest, SendTestMailReportsFailureAndMissingAddresses) {
    sink.Stop();
    Result result = install.Run({"send-test-mail"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              "メールが送信出来ません。設定を見直して下さい。\nホストに接続できません。\n");

    for (const std::string setting : {"From= \t ", "To=\\r\\n"}) {
        ASSERT_EQ(install.Run({"set", "From=me@example.com", "To=you@example.com"}).exitCode, 0);
        ASSERT_EQ(install.Run({"set", setting}).exitCode, 0);
        result = install.Run({"send-test-mail"});
        EXPECT_EQ(result.exitCode, 2) << setting;
        EXPECT_EQ(result.err, "送信者か宛先が入力されていません。\n") << setting;
    }
    EXPECT_EQ(sink.Count(), 0u);
}

// A refusal full of terminal controls reaches neither the terminal nor the log raw, and a log
// that holds such bytes from elsewhere is printed with the same replacement.
TEST_F(TolvanectlMailTest, HostileReasonIsOneCleanLineEverywhere) {
    const std::string hostile = "554 \x1b]0;title\x07\x1b[2J\0after\tTAB\r\n"s;
    const std::string clean = "554 ?]0;title??[2J";
    {
        test::ScriptedServer server([&](test::Peer& p) { p.Send(hostile); });
        ASSERT_EQ(install.Run({"set", "SmtpPort=" + std::to_string(server.Port())}).exitCode, 0);
        const Result result = install.Run({"send-test-mail"});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "メールが送信出来ません。設定を見直して下さい。\n" + clean + "\n");
    }
    {
        test::ScriptedServer server([&](test::Peer& p) { p.Send(hostile); });
        ASSERT_EQ(install.Run({"set", "SmtpPort=" + std::to_string(server.Port())}).exitCode, 0);
        const std::string line =
            test::Cp932("\tメールが送信出来ませんでした　理由：") + clean + "\r\n";
        MonitorOneRestart(line);
        EXPECT_EQ(CountOf(install.Log(), line), 1u) << test::Utf8(install.Log());
    }
    const std::string planted = "2026/12/10 03:14:07\t\x1b[2J\x07\0x\ty\x7f\rz\r\n"s;
    {
        std::ofstream log(install.LogPath(), std::ios::binary | std::ios::trunc);
        log << planted << test::Cp932("2026/12/10 03:14:08\tIISを再起動しました\r\n");
    }
    const Result shown = install.Run({"log"});
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_EQ(shown.out,
              "2026/12/10 03:14:07\t?[2J??x?y??z\n2026/12/10 03:14:08\tIISを再起動しました\n");
    EXPECT_EQ(ReadFile(install.LogPath()).substr(0, planted.size()), planted);
}

}  // namespace
}  // namespace tolvane
