#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "mail/LineSocket.h"
#include "mail/MailTexts.h"
#include "mail/SmtpClient.h"
#include "os/ResolverLock.h"
#include "tests/mail/MailTestSupport.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using test::Peer;
using test::ScriptedServer;

const std::vector<std::string> kTwoRecipients{"RCPT TO: <a@x>", "RCPT TO: <b@y>"};
const std::string kMessage = "To: <a@x>\r\nFrom: <me@x>\r\n\r\nbody";

MailLimits ShortLimits() {
    MailLimits limits;
    limits.connectTimeout = 5s;
    limits.sendTimeout = 5s;
    limits.replyTimeout = 5s;
    limits.resolve = test::ResolveLocally;
    return limits;
}

// Reads one command and answers it.
void Answer(Peer& peer, const std::string& reply) {
    peer.ReadLine();
    peer.Send(reply);
}

struct Dialogue {
    const char* name;
    std::function<void(Peer&)> server;
    int result;
    std::string lastError;              // CP932
    std::vector<std::string> commands;  // the lines the server read, in order (prefixes)
};

void RunDialogue(const Dialogue& d, const MailLimits& limits = ShortLimits()) {
    ScriptedServer server(d.server);
    SmtpClient client(limits);
    EXPECT_EQ(
        client.Send("127.0.0.1", server.Port(), "MAIL FROM: <me@x>", kTwoRecipients, kMessage),
        d.result)
        << d.name;
    EXPECT_EQ(test::Utf8(client.LastError), test::Utf8(d.lastError)) << d.name;
    const auto received = server.Received();
    ASSERT_EQ(received.size(), d.commands.size()) << d.name;
    for (std::size_t i = 0; i < received.size(); ++i) {
        EXPECT_EQ(received[i].rfind(d.commands[i], 0), 0u) << d.name << ": " << received[i];
    }
}

const std::string kHelo = SmtpClient::HeloName();

TEST(SmtpClientTest, RunsTheWholeDialogueAgainstScriptedServers) {
    const std::vector<std::string> all{
        "EHLO " + kHelo + "\r\n", "RSET\r\n", "MAIL FROM: <me@x>\r\n", "RCPT TO: <a@x>\r\n",
        "RCPT TO: <b@y>\r\n",     "DATA\r\n", kMessage + "\r\n.\r\n",  "QUIT\r\n"};
    const Dialogue dialogues[] = {
        {"accepting server", test::PlayAcceptingServer, 1, "", all},
        {"EHLO refused, HELO accepted; LastError keeps the refusal",
         [](Peer& p) {
             p.Send("220 hi\r\n");
             Answer(p, "500 Command unrecognized: EHLO\r\n");
             Answer(p, "250 hello\r\n");
             Answer(p, "250 ok\r\n");
             Answer(p, "250 ok\r\n");
             Answer(p, "250 ok\r\n");
             Answer(p, "250 ok\r\n");
             Answer(p, "354 go\r\n");
             p.ReadData();
             p.Send("250 queued\r\n");
             Answer(p, "221 bye\r\n");
         },
         1,
         "500 Command unrecognized: EHLO",
         {"EHLO " + kHelo + "\r\n", "HELO " + kHelo + "\r\n", "RSET", "MAIL", "RCPT", "RCPT",
          "DATA", kMessage + "\r\n.\r\n", "QUIT"}},
        {"greeting and EHLO reply of several lines, LF alone also ends a line",
         [](Peer& p) {
             p.Send("220-first\r\n220-second\n220 last\r\n");
             Answer(p, "250-name\r\n250-PIPELINING\r\n250 8BITMIME\r\n");
             Answer(p, "250 ok\n");
             Answer(p, "250 ok\r\n");
             Answer(p, "250 ok\r\n");
             Answer(p, "250 ok\r\n");
             Answer(p, "354 go\r\n");
             p.ReadData();
             p.Send("250 queued\r\n");
             Answer(p, "221 bye\r\n");
         },
         1,
         "",
         {"EHLO", "RSET", "MAIL", "RCPT", "RCPT", "DATA", kMessage + "\r\n.\r\n", "QUIT"}},
        {"421 greeting", [](Peer& p) { p.Send("421 too busy\r\n"); }, 0, "421 too busy", {}},
        {"second recipient refused: no DATA",
         [](Peer& p) {
             p.Send("220 hi\r\n");
             for (int i = 0; i < 4; ++i) {
                 Answer(p, "250 ok\r\n");
             }
             Answer(p, "550 5.1.1 <b@y>: no such user\r\n");
             p.QuietFor(300ms);
         },
         0,
         "550 5.1.1 <b@y>: no such user",
         {"EHLO", "RSET", "MAIL", "RCPT TO: <a@x>", "RCPT TO: <b@y>"}},
        {"authentication required at MAIL",
         [](Peer& p) {
             p.Send("220 hi\r\n");
             Answer(p, "250 ok\r\n");
             Answer(p, "250 ok\r\n");
             Answer(p, "530 5.7.0 Authentication required\r\n");
         },
         0,
         "530 5.7.0 Authentication required",
         {"EHLO", "RSET", "MAIL"}},
        {"close instead of the QUIT reply",
         [](Peer& p) {
             p.Send("220 hi\r\n");
             for (int i = 0; i < 5; ++i) {
                 Answer(p, "250 ok\r\n");
             }
             Answer(p, "354 go\r\n");
             p.ReadData();
             p.Send("250 queued\r\n");
             p.ReadLine();
         },
         0,
         mailtexts::NoReply(),
         {"EHLO", "RSET", "MAIL", "RCPT", "RCPT", "DATA", kMessage + "\r\n.\r\n", "QUIT"}},
        {"close in the middle of the greeting line",
         [](Peer& p) { p.Send("220 hel"); },
         0,
         mailtexts::NoReply(),
         {}},
        {"a reply line beyond 4096 bytes",
         [](Peer& p) {
             p.Send("220 " + std::string(5000, 'x') + "\r\n");
             p.QuietFor(2s);
         },
         0,
         mailtexts::NoReply(),
         {}},
        {"a reply of more than 100 lines",
         [](Peer& p) {
             for (int i = 0; i < 101; ++i) {
                 p.Send("220-more\r\n");
             }
             p.Send("220 end\r\n");
             p.QuietFor(2s);
         },
         0,
         mailtexts::NoReply(),
         {}},
    };
    for (const auto& d : dialogues) {
        RunDialogue(d);
    }
}

// A refusal is the reason as one clean line: cut at a NUL, CR and LF removed, every other
// control byte a "?"; CP932 text stays whole.
TEST(SmtpClientTest, ReasonFromAServerIsOneCleanLine) {
    const struct {
        std::string greeting;
        std::string reason;
    } cases[] = {
        {"554 \x1b]0;title\x07\x1b[2J\0after\tTAB\r\n"s, "554 ?]0;title??[2J"},
        {"554 a\tb\x7f\x01"
         "c\r\n",
         "554 a?b??c"},
        {"554 one\rtwo\r\r\n", "554 onetwo"},
        {"554 " + test::Cp932("表示できません") + "\r\n", "554 " + test::Cp932("表示できません")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        ScriptedServer server([&](Peer& p) { p.Send(c.greeting); });
        SmtpClient client(ShortLimits());
        EXPECT_EQ(client.Send("127.0.0.1", server.Port(), "MAIL FROM: <me@x>", {}, ""), 0);
        EXPECT_EQ(client.LastError, c.reason);
    }
}

// Every reply comes just inside its own bound, yet the whole send ends at the bound of the
// dialogue, before the dialogue is through.
TEST(SmtpClientTest, BoundsTheWholeDialogue) {
    MailLimits limits = ShortLimits();
    limits.replyTimeout = 5s;
    limits.dialogueTimeout = 2s;
    ScriptedServer server([](Peer& p) {
        auto late = [&](const std::string& reply) {
            if (p.QuietFor(700ms)) {
                p.Send(reply);
            }
        };
        late("220 hi\r\n");
        while (true) {
            const std::string line = p.ReadLine();
            if (line.empty()) {
                return;
            }
            late(line.rfind("DATA", 0) == 0 ? "354 go\r\n" : "250 ok\r\n");
        }
    });
    {
        SmtpClient client(limits);
        EXPECT_EQ(
            client.Send("127.0.0.1", server.Port(), "MAIL FROM: <me@x>", kTwoRecipients, kMessage),
            0);
        EXPECT_EQ(test::Utf8(client.LastError), "ホストからの応答がありません。");
    }
    const auto received = server.Received();
    EXPECT_LT(received.size(), 5u) << "the dialogue went on past its bound";
}

// A clock that counts the pauses made on it and takes no time.
class CountingClock final : public Clock {
public:
    void Pause(std::uint32_t) override { ++pauses; }
    std::time_t Now() override { return 0; }
    int pauses = 0;
};

// With a clock to serve, the waits pause on it while a server keeps its greeting back, yet the
// dialogue and its bounds are the same: a late greeting still gives a whole dialogue, a
// missing one still the reason of a silent server once its bound has passed.
TEST(SmtpClientTest, ServesTheClockWhileItWaitsAndKeepsItsBounds) {
    struct Case {
        const char* name;
        std::chrono::milliseconds greetingAfter;
        int result;
        std::string lastError;
    };
    const Case cases[] = {
        {"late greeting", 900ms, 1, ""},
        {"no greeting within the bound", 3s, 0, "ホストからの応答がありません。"},
    };
    for (const Case& c : cases) {
        ScriptedServer server([&](Peer& p) {
            if (p.QuietFor(c.greetingAfter)) {
                test::PlayAcceptingServer(p);
            }
        });
        CountingClock clock;
        MailLimits limits = ShortLimits();
        limits.replyTimeout = 1500ms;
        limits.serve = &clock;
        SmtpClient client(limits);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(client.Send("127.0.0.1", server.Port(), "MAIL FROM: <me@x>", kTwoRecipients,
                              kMessage),
                  c.result)
            << c.name;
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(test::Utf8(client.LastError), c.lastError) << c.name;
        EXPECT_GE(clock.pauses, 2) << c.name << ": the waits did not serve the clock";
        if (c.result == 0) {
            EXPECT_GE(took, limits.replyTimeout) << c.name << ": a slice ended the wait";
        } else {
            EXPECT_EQ(server.Received().back(), "QUIT\r\n") << c.name;
        }
    }
}

// "250" and its line end alone is no final line: the client waits for one.
TEST(SmtpClientTest, ThreeDigitsAloneAreNotFinal) {
    bool waited = false;
    ScriptedServer server([&](Peer& p) {
        p.Send("220 hi\r\n");
        Answer(p, "250\r\n");
        waited = p.QuietFor(300ms);
        p.Send("250 done\r\n");
        Answer(p, "221 bye\r\n");
    });
    SmtpClient client(ShortLimits());
    ASSERT_EQ(client.Connect("127.0.0.1", server.Port(), "220"), 1);
    EXPECT_EQ(client.Command("EHLO me\r\n", "250"), 1);
    EXPECT_EQ(client.Command("QUIT\r\n", "221"), 1);
    server.Received();
    EXPECT_TRUE(waited);
}

// A silent server, and one that sends a byte at a time, are both held to one deadline for the
// whole reply.
TEST(SmtpClientTest, BoundsTheWaitForAReply) {
    MailLimits limits = ShortLimits();
    limits.replyTimeout = 600ms;
    for (bool dripping : {false, true}) {
        ScriptedServer server([&](Peer& p) {
            if (dripping) {
                for (char c : std::string("220 a greeting that takes far too long\r\n")) {
                    p.Send(std::string(1, c));
                    if (!p.QuietFor(100ms)) {
                        break;
                    }
                }
            } else {
                p.QuietFor(3s);
            }
        });
        SmtpClient client(limits);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(client.Send("127.0.0.1", server.Port(), "MAIL FROM: <me@x>", {}, ""), 0);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(test::Utf8(client.LastError), "ホストからの応答がありません。");
        EXPECT_GE(took, 600ms);
        EXPECT_LT(took, 30s);
    }
}

// A server that stops reading while the message goes out: the send is bounded as well.
TEST(SmtpClientTest, BoundsTheSendOfACommand) {
    MailLimits limits = ShortLimits();
    limits.sendTimeout = 500ms;
    ScriptedServer server([](Peer& p) {
        p.Send("220 hi\r\n");
        for (int i = 0; i < 5; ++i) {
            Answer(p, "250 ok\r\n");
        }
        Answer(p, "354 go\r\n");
        std::this_thread::sleep_for(3s);  // reads nothing more while the buffers fill up
    });
    SmtpClient client(limits);
    const std::string huge(64 << 20, 'x');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.Send("127.0.0.1", server.Port(), "MAIL FROM: <me@x>", kTwoRecipients, huge),
              0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_EQ(test::Utf8(client.LastError), "コマンドが送信できませんでした。");
}

TEST(SmtpClientTest, CannotConnect) {
    for (const std::string host : {"127.0.0.1", "no-such-host.invalid", " "}) {
        SmtpClient client(ShortLimits());
        EXPECT_EQ(client.Send(host, test::UnusedLoopbackPort(), "MAIL FROM: <me@x>", {}, ""), 0);
        EXPECT_EQ(test::Utf8(client.LastError), "ホストに接続できません。") << host;
    }
}

// A listener whose queue is full drops further connection requests, so connecting hangs
// until the bound; loopback only.
TEST(SmtpClientTest, BoundsTheConnect) {
    const int full = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(full, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(full, 0), 0);
    ::getsockname(full, reinterpret_cast<sockaddr*>(&address), &length);
    const std::uint16_t port = ntohs(address.sin_port);
    // Fill the queue with connections nobody accepts.
    std::vector<int> queued;
    for (int i = 0; i < 4; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        queued.push_back(fd);
    }
    std::this_thread::sleep_for(100ms);
    MailLimits limits = ShortLimits();
    limits.connectTimeout = 700ms;
    SmtpClient client(limits);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.Send("127.0.0.1", port, "MAIL FROM: <me@x>", {}, ""), 0);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(test::Utf8(client.LastError), "ホストに接続できません。");
    EXPECT_GE(took, 700ms);
    EXPECT_LT(took, 30s);
    for (int fd : queued) {
        ::close(fd);
    }
    ::close(full);
}

TEST(SmtpClientTest, HeloNameFitsFifteenCharacters) {
    EXPECT_EQ(SmtpClient::HeloNameFor("web01"), "web01");
    EXPECT_EQ(SmtpClient::HeloNameFor("ABCDEFGHIJKLMNO"), "ABCDEFGHIJKLMNO");
    EXPECT_EQ(SmtpClient::HeloNameFor("ABCDEFGHIJKLMNOP"), "UnKnown");
    EXPECT_EQ(SmtpClient::HeloNameFor(""), "UnKnown");
}

TEST(LineSocketTest, ReadsLinesWithTheirEndsAndNothingMore) {
    ScriptedServer server([](Peer& p) {
        p.Send("one\r\ntwo\nthree");
        p.QuietFor(200ms);
    });
    LineSocket socket(ShortLimits());
    ASSERT_EQ(socket.Connect("127.0.0.1", server.Port()), 1);
    EXPECT_EQ(socket.Connected, 1u);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    std::string line = "stale";
    EXPECT_EQ(socket.ReadLine(line, deadline), 1);
    EXPECT_EQ(line, "one\r\n");
    EXPECT_EQ(socket.ReadLine(line, deadline), 1);
    EXPECT_EQ(line, "two\n");
    EXPECT_EQ(socket.ReadLine(line, deadline), 0);  // closed in the middle of the line
    EXPECT_EQ(line, "");
    socket.Close();
    EXPECT_EQ(socket.Connected, 0u);
}

TEST(LineSocketTest, UsesTheLowSixteenBitsOfThePort) {
    ScriptedServer server([](Peer& p) { p.Send("220 hi\r\n"); });
    LineSocket socket(ShortLimits());
    EXPECT_EQ(socket.Connect("127.0.0.1", 0x10000u + server.Port()), 1);
}

// The lock orders lookups and never decides whether a mail goes out: while another copy holds
// it, Connect waits for it, up to its bound, and then connects either way.
TEST(LineSocketTest, WaitsForTheResolverLockThenGoesAhead) {
    test::TempDir dir;
    MailLimits limits = ShortLimits();
    limits.resolverLockName = dir.File("resolver.lock");
    test::LoopbackOnlyListener listener;  // its queue takes the connections
    for (const bool released : {false, true}) {
        SCOPED_TRACE(released ? "released after 300 ms" : "held past the bound");
        limits.resolverLockTimeout = released ? 20s : 400ms;
        auto held = std::make_unique<ResolverLock>(limits.resolverLockName, 0ms);
        ASSERT_TRUE(held->Locked());
        std::thread release([&] {
            std::this_thread::sleep_for(released ? 300ms : 1500ms);
            held.reset();
        });
        LineSocket socket(limits);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(socket.Connect("127.0.0.1", listener.Port()), 1);
        EXPECT_GE(std::chrono::steady_clock::now() - start, released ? 300ms : 400ms);
        release.join();
    }
}

}  // namespace
}  // namespace tolvane
