// tolvanectl monitor under a service manager: the notification socket as systemd offers it.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstring>

#include "os/Process.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Message {
    Clock::time_point at;
    std::string text;
};

// The manager's end: a datagram socket bound to a path or an abstract name.
class NotifySocket {
public:
    explicit NotifySocket(const std::string& name) : name_(name) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.data(), name.size());
        if (name[0] == '@') {
            address.sun_path[0] = '\0';
        }
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), length), 0)
            << std::strerror(errno);
    }
    ~NotifySocket() { ::close(fd_); }

    // Collects messages until one satisfies done or the limit passes.
    template <typename Done>
    void ReceiveUntil(Done done, std::chrono::milliseconds limit) {
        const auto end = Clock::now() + limit;
        while (Clock::now() < end) {
            pollfd ready{fd_, POLLIN, 0};
            if (::poll(&ready, 1, 100) != 1) {
                continue;
            }
            char buffer[4096];
            const ssize_t size = ::recv(fd_, buffer, sizeof buffer, 0);
            if (size > 0) {
                messages.push_back({Clock::now(), std::string(buffer, static_cast<size_t>(size))});
                if (done(messages.back().text)) {
                    return;
                }
            }
        }
    }

    std::vector<Message> messages;

private:
    std::string name_;
    int fd_ = -1;
};

TEST(TolvanectlNotify, ReadyStatusAndKeepAlivesReachTheManagerThroughARestart) {
    struct Case {
        const char* socketKind;
        bool watchdogForUs;  // WATCHDOG_PID names the monitor, or another process
        const char* stop;    // slow where keep-alives must come while it runs
    };
    const Case cases[] = {{"path", true, "sleep 5"}, {"abstract", false, "true"}};
    // Keep-alives come every half period; the manager gives up after a whole one.
    constexpr auto kWatchdog = 4s;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.socketKind);
        test::PrivateInstall install(TOLVANE_BIN_DIR,
                                     {"tolvanectl", "command.com", "net", "mtxstop"});
        ::unsetenv("TOLVANE_SERVICES");
        const std::string childEnv = install.dir.File("child.env");
        // A slow stop, so that keep-alives must come while a command runs; the start records
        // the environment that the services see.
        test::WriteFile(install.dir.File("services.conf"), std::string("w3svc.stop = ") + c.stop +
                                                               "\n"
                                                               "w3svc.start = sh -c \"env > " +
                                                               childEnv + "\"\n");
        ASSERT_EQ(install
                      .Run({"set", "Port=" + std::to_string(test::UnusedLoopbackPort()),
                            "Interval=99999", "CheckFtpSvc=0", "CheckSmtpSvc=0"})
                      .exitCode,
                  0);
        const std::string name = std::string(c.socketKind) == "path"
                                     ? install.dir.File("notify")
                                     : "@tolvane-test-notify-" + std::to_string(::getpid());
        NotifySocket manager(name);
        const std::string usec = std::to_string(std::chrono::microseconds(kWatchdog).count());
        ChildProcess monitor;
        ASSERT_TRUE(monitor.Start(std::vector<std::string>{
            "sh", "-c",
            "NOTIFY_SOCKET=" + test::ShellQuote(name) + " WATCHDOG_USEC=" + usec +
                " WATCHDOG_PID=" + (c.watchdogForUs ? "$$" : "1") + " " +
                install.Command({"monitor"})}));

        manager.ReceiveUntil(
            [](const std::string& text) { return text.rfind("STATUS=IIS", 0) == 0; }, 60s);
        // Two more periods of waiting for the next tick.
        const auto waitingSince = Clock::now();
        if (c.watchdogForUs) {
            manager.ReceiveUntil([](const std::string&) { return false; }, 2 * kWatchdog);
        }
        ::kill(monitor.Pid(), SIGTERM);
        manager.ReceiveUntil([](const std::string& text) { return text == "STOPPING=1"; }, 30s);
        EXPECT_EQ(monitor.Wait().exitCode, 0);

        std::vector<std::string> statuses;
        std::vector<Clock::time_point> keepAlives;
        for (const auto& message : manager.messages) {
            if (message.text.rfind("STATUS=", 0) == 0) {
                statuses.push_back(message.text.substr(7));
            } else if (message.text == "WATCHDOG=1") {
                keepAlives.push_back(message.at);
            }
        }
        ASSERT_FALSE(manager.messages.empty());
        EXPECT_EQ(manager.messages.front().text, "READY=1");
        EXPECT_EQ(manager.messages.back().text, "STOPPING=1");
        ASSERT_GE(statuses.size(), 6u);
        EXPECT_EQ(statuses[0], "確認中 ...");
        EXPECT_EQ(statuses[1], "World Wide Web Publishing Service を停止中...");
        EXPECT_EQ(statuses.back().rfind("IISを再起動しました  ", 0), 0u) << statuses.back();

        if (c.watchdogForUs) {
            // From READY to STOPPING no whole period passes without a keep-alive: not while
            // the stop command runs, nor while the monitor waits for its next tick.
            ASSERT_FALSE(keepAlives.empty());
            auto last = manager.messages.front().at;
            for (const auto at : keepAlives) {
                EXPECT_LE(at - last, kWatchdog);
                last = at;
            }
            EXPECT_LE(manager.messages.back().at - last, kWatchdog);
            EXPECT_GE(std::count_if(keepAlives.begin(), keepAlives.end(),
                                    [&](auto at) { return at >= waitingSince; }),
                      2);
        } else {
            EXPECT_TRUE(keepAlives.empty());
        }
        // The services never see the manager's socket.
        const std::string env = test::ReadFile(childEnv);
        EXPECT_NE(env.find("PATH="), std::string::npos);
        for (const char* variable : {"NOTIFY_SOCKET=", "WATCHDOG_USEC=", "WATCHDOG_PID="}) {
            EXPECT_EQ(env.find(variable), std::string::npos) << variable;
        }
    }
}

}  // namespace
}  // namespace tolvane
