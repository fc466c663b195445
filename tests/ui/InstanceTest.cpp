// One copy per machine: the marker with real sockets and real processes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <memory>
#include <optional>
#include <thread>

#include "os/InstanceMarker.posix.h"
#include "os/Process.h"
#include "settings/SettingsStore.h"
#include "tests/support/PosixSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/qt/InstanceServer.h"
#include "ui/qt/MonitorDialog.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;
using test::ReadFile;
using test::TempDir;
using test::WaitUntil;

// A name of this test's own, so a real running copy is never disturbed.
std::string PrivateName(const char* what) {
    return std::string("tolvane-test-") + what + "-" + std::to_string(::getpid());
}

TEST(InstanceMarkerTest, OneHolderAtATimeAndTheMarkVanishesWithIt) {
    const std::string name = PrivateName("hold");
    {
        InstanceMarker first(name);
        ASSERT_EQ(first.State(), InstanceMarker::Claim::Held);
        EXPECT_NE(::fcntl(ListenDescriptor(first), F_GETFD) & FD_CLOEXEC, 0);
        InstanceMarker second(name);
        EXPECT_EQ(second.State(), InstanceMarker::Claim::HeldByOther);
    }
    InstanceMarker again(name);
    EXPECT_EQ(again.State(), InstanceMarker::Claim::Held);
}

// A service started by a restart must never keep the marker alive after the program ends.
TEST(InstanceMarkerTest, AChildProcessDoesNotKeepTheMark) {
    const std::string name = PrivateName("child");
    test::TestChild child;
    {
        InstanceMarker marker(name);
        ASSERT_EQ(marker.State(), InstanceMarker::Claim::Held);
        ASSERT_TRUE(child.Start(std::vector<std::string>{"sleep", "30"}));
    }
    // The kernel wakes a spawning parent a moment before the child's close-on-exec descriptors
    // are closed, so the mark may linger for that moment; a child that kept it would keep it
    // for its whole 30 seconds.
    const auto giveUp = std::chrono::steady_clock::now() + 5s;
    auto next = std::make_unique<InstanceMarker>(name);
    while (next->State() != InstanceMarker::Claim::Held &&
           std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(10ms);
        next = std::make_unique<InstanceMarker>(name);
    }
    EXPECT_EQ(next->State(), InstanceMarker::Claim::Held) << "the child inherited the marker";
    EXPECT_TRUE(child.Poll().running);
}

TEST(InstanceMarkerTest, OfCopiesStartedAtTheSameInstantExactlyOneHoldsTheMark) {
    const std::string name = PrivateName("race");
    for (int round = 0; round < 20; ++round) {
        constexpr int kCopies = 8;
        std::atomic<bool> go{false};
        std::vector<std::unique_ptr<InstanceMarker>> markers(kCopies);
        std::vector<std::thread> threads;
        for (int i = 0; i < kCopies; ++i) {
            threads.emplace_back([&, i] {
                while (!go) {
                }
                markers[i] = std::make_unique<InstanceMarker>(name);
            });
        }
        go = true;
        for (auto& thread : threads) {
            thread.join();
        }
        int held = 0;
        for (const auto& marker : markers) {
            held += marker->State() == InstanceMarker::Claim::Held ? 1 : 0;
            if (marker->State() != InstanceMarker::Claim::Held) {
                EXPECT_EQ(marker->State(), InstanceMarker::Claim::HeldByOther);
            }
        }
        EXPECT_EQ(held, 1) << "round " << round;
    }
}

// A later copy learns who holds the marker without the holder's help.
TEST(InstanceMarkerTest, TheHolderIsKnownByProgramAndProcessWhileItLives) {
    const std::string name = PrivateName("who");
    for (const auto program : {InstanceMarker::Program::Window, InstanceMarker::Program::Tolvanectl,
                               InstanceMarker::Program::Service}) {
        {
            InstanceMarker marker(name);
            ASSERT_EQ(marker.State(), InstanceMarker::Claim::Held);
            marker.Announce(program);
            const InstanceMarker::Holder holder = InstanceMarker::FindHolder(name);
            EXPECT_EQ(holder.program, program);
            EXPECT_EQ(holder.pid, ::getpid());
            // Another marker's name, even one that begins with this one, knows nothing of it.
            EXPECT_EQ(InstanceMarker::FindHolder(name + "x").program,
                      InstanceMarker::Program::Unknown);
        }
        EXPECT_EQ(InstanceMarker::FindHolder(name).program, InstanceMarker::Program::Unknown);
    }
}

// A first copy that is stopped never takes a later copy off its queue. Every later copy must
// still end, also once the queue is full.
TEST(InstanceMarkerTest, LaterCopiesEndWhileTheFirstIsStopped) {
    const std::string name = PrivateName("stopped");
    InstanceMarker stopped(name);
    ASSERT_EQ(stopped.State(), InstanceMarker::Claim::Held);
    constexpr int kLaterCopies = 25;
    // On a thread of its own, so that a copy that hangs fails the test instead of holding it.
    auto ended = std::make_shared<std::atomic<int>>(0);
    auto answered = std::make_shared<std::atomic<int>>(0);
    std::thread([name, ended, answered] {
        for (int i = 0; i < kLaterCopies; ++i) {
            *answered += AskToShow(name, 200) ? 1 : 0;
            ++*ended;
        }
    }).detach();
    EXPECT_TRUE(WaitUntil([&] { return *ended == kLaterCopies; }, 120000))
        << "the later copies that ended: " << *ended;
    EXPECT_EQ(*answered, 0);
}

class InstanceServerTest : public ::testing::Test {
protected:
    TempDir dir;
    RegistryHive hive{dir.File("HKEY_CLASSES_ROOT.reg")};
};

TEST_F(InstanceServerTest, ALaterCopyShowsAHiddenWindowAndGetsItsAnswer) {
    const std::string name = PrivateName("show");
    InstanceMarker marker(name);
    ASSERT_EQ(marker.State(), InstanceMarker::Claim::Held);
    MonitorDialog dialog(hive, CycleParts{});
    InstanceServer server(marker);
    QObject::connect(&server, &InstanceServer::showRequested, &dialog, &MonitorDialog::ShowWindow);
    dialog.show();
    dialog.HideWindow();
    ASSERT_FALSE(dialog.isVisible());

    std::atomic<int> answered{-1};
    std::thread later([&] { answered = AskToShow(name, 20000) ? 1 : 0; });
    const bool shown = WaitUntil([&] { return answered != -1; });
    later.join();
    EXPECT_TRUE(shown) << "waited for the later copy's answer";
    EXPECT_EQ(answered, 1);
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(InstanceServerTest, AnythingButTheShowRequestIsDropped) {
    const std::string name = PrivateName("junk");
    InstanceMarker marker(name);
    ASSERT_EQ(marker.State(), InstanceMarker::Claim::Held);
    InstanceServer server(marker);
    int requests = 0;
    QObject::connect(&server, &InstanceServer::showRequested, [&] { ++requests; });

    for (const std::string& junk :
         {std::string("hide\n"), std::string(200, 'x'), std::string("show")}) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, name.data(), name.size());
        ASSERT_EQ(
            ::connect(fd, reinterpret_cast<sockaddr*>(&address),
                      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size())),
            0);
        ASSERT_EQ(::send(fd, junk.data(), junk.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(junk.size()));
        ::shutdown(fd, SHUT_WR);
        char reply[16];
        // The server closes without an answer: the read ends with nothing.
        bool closed = false;
        WaitUntil([&] {
            const ssize_t got = ::recv(fd, reply, sizeof reply, MSG_DONTWAIT);
            closed = got == 0;
            return got >= 0;
        });
        EXPECT_TRUE(closed) << junk.substr(0, 10);
        ::close(fd);
    }
    EXPECT_EQ(requests, 0);
}

// Two real copies of the program.
class TwoCopiesTest : public ::testing::Test {
protected:
    void SetUp() override {
        const InstanceMarker probe(test::UsePrivateInstanceMarker());
        ASSERT_EQ(probe.State(), InstanceMarker::Claim::Held);
    }

    std::string Quote(const std::string& text) {
        std::string quoted = "'";
        for (char c : text) {
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        return quoted + "'";
    }

    // Starts tolvane with its own store, the offscreen screen and its progress on stderr.
    test::TestChild Start(const std::string& errFile) {
        const std::string line =
            "QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES=tolvane.app.info=true TOLVANE_REGISTRY=" +
            Quote(dir.File("HKEY_CLASSES_ROOT.reg")) + " exec " +
            Quote(std::string(TOLVANE_BIN_DIR) + "/tolvane") + " 2>" + Quote(errFile);
        test::TestChild child;
        EXPECT_TRUE(child.Start(std::vector<std::string>{"sh", "-c", line}));
        return child;
    }

    bool Logged(const std::string& errFile, const std::string& text,
                std::chrono::seconds bound = 30s) {
        const auto giveUp = std::chrono::steady_clock::now() + bound;
        while (std::chrono::steady_clock::now() < giveUp) {
            if (ReadFile(errFile).find(text) != std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    TempDir dir;
};

TEST_F(TwoCopiesTest, TheSecondEndsWithZeroAndTheFirstShowsItsWindow) {
    // Where the machine's own name leads to loopback, the first copy starts automatically and
    // hides its window first, so the second must bring a hidden window back. The program probes
    // the name, so the listener listens where the name leads (127.0.1.1 with Debian's
    // installer), not only on 127.0.0.1.
    const test::MachineName machine = test::OwnMachineName();
    std::optional<test::Listener> listener;
    if (machine.IsLoopback()) {
        listener.emplace(*machine.address);
        RegistryHive hive(dir.File("HKEY_CLASSES_ROOT.reg"));
        Settings settings;
        settings.Port = listener->Port();
        settings.AutoStartupMode = 1;
        SettingsStore(hive).SaveSettings(settings);
    }
    const std::string firstErr = dir.File("first.err");
    test::TestChild first = Start(firstErr);
    ASSERT_TRUE(Logged(firstErr, "window painted")) << ReadFile(firstErr);
    if (listener) {
        ASSERT_TRUE(Logged(firstErr, "window hidden"))
            << "waited for the automatic start to hide the window. " << machine.Need() << "\n"
            << ReadFile(firstErr);
    }

    const std::string secondErr = dir.File("second.err");
    test::TestChild second = Start(secondErr);
    const ExitState ended = second.WaitForEnd("the second copy to end", 30s);
    EXPECT_FALSE(ended.running);
    EXPECT_EQ(ended.exitCode, 0);
    EXPECT_EQ(ReadFile(secondErr).find("window"), std::string::npos)
        << "the second copy opens no window";
    EXPECT_TRUE(Logged(firstErr, "later copy answered, window visible: true"))
        << ReadFile(firstErr);
    EXPECT_TRUE(first.Poll().running);
}

TEST_F(TwoCopiesTest, CopiesStartedTogetherLeaveExactlyOneRunning) {
    const std::string aErr = dir.File("a.err");
    const std::string bErr = dir.File("b.err");
    test::TestChild a = Start(aErr);
    test::TestChild b = Start(bErr);
    // The one that lost ends by itself; give it time, then see who is left.
    const auto giveUp = std::chrono::steady_clock::now() + 30s;
    while (a.Poll().running && b.Poll().running && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(20ms);
    }
    const ExitState aState = a.Poll();
    const ExitState bState = b.Poll();
    EXPECT_NE(aState.running, bState.running)
        << "exactly one copy must run; waited 30 s for one of the two to end";
    const ExitState& loser = aState.running ? bState : aState;
    EXPECT_EQ(loser.exitCode, 0);
    EXPECT_TRUE(Logged(aState.running ? aErr : bErr, "later copy answered"));
}

// The headless monitor in a private install: the stand-ins beside it and a services map that
// maps nothing, so a restart touches no service of the machine.
class HeadlessMonitor {
public:
    HeadlessMonitor() : install_(TOLVANE_BIN_DIR, {"tolvanectl", "command.com", "net", "mtxstop"}) {
        test::WriteFile(install_.dir.File("services.conf"), "");
        ::unsetenv("TOLVANE_SERVICES");
    }
    // Starts it, sharing the given settings store, and waits for its first status line.
    bool Start(const std::string& store) {
        const std::string out = install_.dir.File("monitor.out");
        const bool started = process_.Start(
            std::vector<std::string>{"sh", "-c",
                                     "TOLVANE_REGISTRY=" + test::ShellQuote(store) + " exec " +
                                         test::ShellQuote(install_.Bin("tolvanectl")) +
                                         " monitor >" + test::ShellQuote(out) + " 2>&1"});
        return started && WaitUntil([&] { return !ReadFile(out).empty(); }, 30000);
    }
    // Runs it to its end, sharing the given settings store.
    test::RunResult Run(const std::string& store) {
        ::setenv("TOLVANE_REGISTRY", store.c_str(), 1);
        return install_.Run({"monitor"});
    }
    test::TestChild& Process() { return process_; }

private:
    test::PrivateInstall install_;
    test::TestChild process_;
};

// A stored port nothing answers and a long interval: the monitor does one restart and waits.
void StoreQuietSettings(const std::string& store) {
    RegistryHive hive(store);
    Settings settings;
    settings.Port = test::UnusedLoopbackPort();
    settings.Interval = 99999;
    SettingsStore(hive).SaveSettings(settings);
}

TEST_F(TwoCopiesTest, TolvanectlMonitorBesideTheWindowIsRefusedNamingIt) {
    const std::string store = dir.File("HKEY_CLASSES_ROOT.reg");
    StoreQuietSettings(store);
    const std::string firstErr = dir.File("first.err");
    test::TestChild first = Start(firstErr);
    ASSERT_TRUE(Logged(firstErr, "window painted")) << ReadFile(firstErr);

    HeadlessMonitor headless;
    const test::RunResult second = headless.Run(store);
    EXPECT_EQ(second.exitCode, 3);
    EXPECT_EQ(second.err, "tolvanectl: the window of tolvane (process " +
                              std::to_string(first.Pid()) + ") already monitors this machine\n");
    EXPECT_TRUE(first.Poll().running);
}

TEST_F(TwoCopiesTest, TheWindowBesideTolvanectlMonitorSaysSoInABox) {
    const std::string store = dir.File("HKEY_CLASSES_ROOT.reg");
    StoreQuietSettings(store);
    HeadlessMonitor headless;
    ASSERT_TRUE(headless.Start(store)) << "waited for tolvanectl monitor's first status line";

    const std::string secondErr = dir.File("second.err");
    test::TestChild second = Start(secondErr);
    EXPECT_TRUE(Logged(secondErr, "message box: \"tolvanectl monitor (プロセス " +
                                      std::to_string(headless.Process().Pid()) +
                                      ") がこのコンピューターを監視しています。\""))
        << ReadFile(secondErr);
    EXPECT_EQ(ReadFile(secondErr).find("window"), std::string::npos)
        << "the second copy opens no main window";
    EXPECT_TRUE(headless.Process().Poll().running);
}

TEST_F(TwoCopiesTest, SecondStartsAgainstAStoppedFirstCopyEndWithAMessage) {
    const std::string firstErr = dir.File("first.err");
    test::TestChild first = Start(firstErr);
    ASSERT_TRUE(Logged(firstErr, "window painted")) << ReadFile(firstErr);
    ::kill(first.Pid(), SIGSTOP);
    for (int i = 0; i < 2; ++i) {
        const std::string secondErr = dir.File("second" + std::to_string(i) + ".err");
        test::TestChild second = Start(secondErr);
        const ExitState ended = second.WaitForEnd("the second copy to end", 120s);
        EXPECT_FALSE(ended.running);
        EXPECT_EQ(ended.exitCode, 0);
        EXPECT_NE(
            ReadFile(secondErr).find("tolvane: the running copy (process " +
                                     std::to_string(first.Pid()) + ") did not answer within 5 s"),
            std::string::npos)
            << ReadFile(secondErr);
    }
    ::kill(first.Pid(), SIGCONT);
}

}  // namespace
}  // namespace tolvane
