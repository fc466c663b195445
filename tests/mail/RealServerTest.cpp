// Against a real SMTP server: Debian's aiosmtpd on a free loopback port, fed by the mail
// subsystem, the restart cycle and tolvanectl.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/ConsoleHost.h"
#include "mail/Base64.h"
#include "mail/SendNotificationMail.h"
#include "monitor/MonitorCycle.h"
#include "os/CodePage.h"
#include "os/Process.h"
#include "tests/mail/MailTestSupport.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Cp932;
using test::ReadFile;
using test::SmtpSink;
using test::WriteFile;

std::vector<std::string> HeaderLines(const std::string& raw) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < raw.size();) {
        const auto end = raw.find("\r\n", at);
        if (end == std::string::npos || end == at) {
            break;
        }
        lines.push_back(raw.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

std::string IconvJis(const std::string& utf8) {
    std::string jis;
    EXPECT_TRUE(ConvertCharset(utf8, "UTF-8", "ISO-2022-JP", jis));
    return jis;
}

class RealServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sink.Running()) << sink.StartError(); }
    SmtpSink sink;
};

TEST_F(RealServerTest, DeliversAJapaneseMailToTwoRecipients) {
    const std::string subject = "IIS 再起動のお知らせ";
    const std::string longLine(200, 'w');
    const std::string body =
        "サーバーを再起動しました。\r\n.\r\n" + longLine + "\r\n.点で始まる行\r\n最後の行";
    std::string reason;
    ASSERT_EQ(SendNotificationMail("admin@example.com", "one@example.com;two@example.com",
                                   Cp932(subject), Cp932(body), "127.0.0.1", sink.Port(), reason),
              1)
        << test::Utf8(reason);
    ASSERT_TRUE(sink.WaitForMessages(1, 10s));
    const auto mails = sink.Messages();
    ASSERT_EQ(mails.size(), 1u);
    const auto& mail = mails[0];
    EXPECT_EQ(mail.from, "admin@example.com");
    EXPECT_EQ(mail.recipients, (std::vector<std::string>{"one@example.com", "two@example.com"}));
    const auto lines = HeaderLines(mail.raw);
    ASSERT_EQ(lines.size(), 7u) << mail.raw;
    EXPECT_EQ(lines[0], "To: <one@example.com>,");
    EXPECT_EQ(lines[1], "\t<two@example.com>");
    EXPECT_EQ(lines[2], "From: <admin@example.com>");
    EXPECT_EQ(lines[3], "subject: =?ISO-2022-JP?B?" + Base64::Encode(IconvJis(subject)) + "?=");
    EXPECT_EQ(lines[4].rfind("Date: ", 0), 0u);
    EXPECT_EQ(lines[5], "MIME-Version: 1.0");
    EXPECT_EQ(lines[6], "Content-Type: text/plain; charset=ISO-2022-JP");
    EXPECT_EQ(mail.subject, subject);
    // The server takes the doubled dots back off; the long line arrives broken after 130.
    EXPECT_EQ(mail.body, "サーバーを再起動しました。\r\n.\r\n" + longLine.substr(0, 130) + "\r\n" +
                             longLine.substr(130) + "\r\n.点で始まる行\r\n最後の行\r\n");
}

TEST_F(RealServerTest, LongSubjectsAndHostileBodiesArriveWhole) {
    std::string subject;
    for (int i = 0; i < 300; ++i) {
        subject += i % 10 == 9 ? "。" : "監視";
    }
    std::string reason;
    ASSERT_EQ(
        SendNotificationMail("a@example.com", "b@example.com", Cp932(subject),
                             "\x82\x29.\r\nRSET\r\n\x82\n.\r\n", "127.0.0.1", sink.Port(), reason),
        1)
        << test::Utf8(reason);
    ASSERT_TRUE(sink.WaitForMessages(1, 10s));
    std::this_thread::sleep_for(300ms);
    const auto mails = sink.Messages();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].subject, subject);
    EXPECT_EQ(mails[0].body, "〓).\r\nRSET\r\n〓\r\n.\r\n\r\n");
}

// Whatever a neighbour plants under the resolver lock's name, the mail goes out: nothing
// there can block the lookup, lead it through a link or hold it.
TEST_F(RealServerTest, PlantedResolverLockDoesNotStopTheMail) {
    test::TempDir dir;
    MailLimits limits;
    limits.resolverLockName = dir.File("resolver.lock");
    limits.resolverLockTimeout = 60s;
    limits.resolve = test::ResolveLocally;
    const std::string target = dir.File("target");
    int holder = -1;  // another process's hold on the file, as flock sees it
    auto holdLocked = [&](const std::string& path) {
        holder = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    };
    const struct {
        const char* what;
        std::function<void()> plant;
        bool needsRoot;
    } cases[] = {
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(limits.resolverLockName.c_str(), 0666), 0); }, false},
        {"a link to a held file",
         [&] {
             WriteFile(target, "");
             fs::create_symlink(target, limits.resolverLockName);
             holdLocked(target);
         },
         false},
        {"another user's held file",
         [&] {
             WriteFile(limits.resolverLockName, "");
             ASSERT_EQ(::chown(limits.resolverLockName.c_str(), 65534, 65534), 0);
             holdLocked(limits.resolverLockName);
         },
         true},
    };
    std::size_t sent = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsRoot && ::geteuid() != 0) {
            continue;  // only root can give a file to another user
        }
        fs::remove_all(limits.resolverLockName);
        fs::remove_all(target);
        c.plant();
        std::string reason;
        EXPECT_EQ(SendNotificationMailUsing(limits, "me@example.com", "you@example.com", "s", "b",
                                            "localhost", sink.Port(), {}, reason),
                  1)
            << test::Utf8(reason);
        EXPECT_TRUE(sink.WaitForMessages(++sent, 10s));
        if (holder >= 0) {
            ::close(holder);
            holder = -1;
        }
    }
}

class NoPauseClock final : public Clock {
public:
    void Pause(std::uint32_t) override {}
    std::time_t Now() override { return 1700000000; }
};

// One restart of the cycle with mail on; gives the restart log's contents.
std::string RestartWithMail(std::uint32_t smtpPort) {
    test::TempDir dir;
    NoPauseClock clock;
    RestartLog log(clock, dir.Path() + "/");
    Settings settings;
    settings.Port = test::UnusedLoopbackPort();
    settings.WithMail = 1;
    settings.From = "watchdog@example.com";
    settings.To = "admin@example.com";
    settings.Subject = Cp932("再起動");
    settings.Body = Cp932("IISを再起動しました。");
    settings.Smtp = "127.0.0.1";
    settings.SmtpPort = smtpPort;
    ConsoleHost host(stdout, false);
    CycleParts parts;
    parts.clock = &clock;
    parts.log = &log;
    parts.runCommand = [](const std::string&, RepaintTarget*) {
        return CommandOutcome::ExitedWith(0);
    };
    parts.sendMail = NotificationMail();
    parts.computerName = [] { return std::string("127.0.0.1"); };
    MonitorCycle cycle(settings, host, parts);
    cycle.Open();
    cycle.Start();
    cycle.OnTimer(CheckTimer);
    return test::Utf8(ReadFile(log.Path()));
}

TEST_F(RealServerTest, RestartWithMailSendsOneMail) {
    const std::string log = RestartWithMail(sink.Port());
    EXPECT_NE(log.find("IISを再起動しました\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("メールが送信出来ませんでした"), std::string::npos) << log;
    ASSERT_TRUE(sink.WaitForMessages(1, 10s));
    const auto mails = sink.Messages();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].subject, "再起動");
    EXPECT_EQ(mails[0].body, "IISを再起動しました。\r\n");
}

TEST_F(RealServerTest, RestartWithMailLogsWhyItFailed) {
    sink.Stop();
    const std::string log = RestartWithMail(sink.Port());
    EXPECT_NE(log.find("IISを再起動しました\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\tメールが送信出来ませんでした　理由：ホストに接続できません。\r\n"),
              std::string::npos)
        << log;
}

}  // namespace
}  // namespace tolvane
