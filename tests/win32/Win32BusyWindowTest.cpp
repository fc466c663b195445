// The main window while its cycle works: it answers, defers what would re-enter the cycle,
// holds a logoff off during a restart, and gives Return to its default button.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "mail/LineSocket.h"
#include "os/CommandRunner.h"
#include "settings/SettingsStore.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/Win32TestSupport.h"
#include "tests/win32/WindowTestSupport.h"
#include "ui/model/CommandId.h"
#include "ui/win32/MonitorDialog.h"

namespace tolvane {
namespace {

using test::Click;
using test::LoopbackOnlyListener;
using test::PumpUntil;
using test::WhileModal;

// The bound within which the window must answer is one second; the test gives it five, so a
// loaded machine does not fail it, while a window blocked by the command still does.
constexpr UINT kAnswerBound = 5000;
// Long enough that the command is still running once the other thread has asked.
constexpr int kSlowCommandMs = 8000;
// Likewise for the SMTP server's greeting, which a slow server keeps back.
constexpr DWORD kSlowGreetingMs = 8000;

class Win32BusyWindowTest : public test::Win32WindowTest {
protected:
    // The window over the stored settings, whose restart runs a real child: the first command
    // takes its time, the others end at once.
    HWND OpenWithSlowCommand(std::uint16_t port) {
        Settings settings;
        settings.Port = port;
        settings.CheckFtpSvc = 0;
        settings.CheckSmtpSvc = 0;
        SettingsStore(hive).SaveSettings(settings);
        CycleParts parts;
        parts.computerName = [] { return std::string("127.0.0.1"); };
        parts.runCommand = [this](const std::string&, RepaintTarget* target) {
            const bool first = commands++ == 0;
            const std::string line =
                slowChild + (first ? " " + std::to_string(kSlowCommandMs) : "");
            slowRunning = first;
            const CommandOutcome outcome = CommandRunner::Run(line, target, dialog->WaitClock());
            slowRunning = false;
            return outcome;
        };
        dialog = std::make_unique<MonitorDialog>(hive, parts);
        HWND window = dialog->Open();
        EXPECT_NE(window, nullptr);
        return window;
    }

    // Restart commands run only from the system folder, so the slow child is put there.
    struct PlantedChild {
        PlantedChild() {
            wchar_t folder[MAX_PATH + 1];
            const UINT n = GetSystemDirectoryW(folder, MAX_PATH + 1);
            path = std::filesystem::path(std::wstring(folder, n)) / "tolvslowchild.exe";
            std::filesystem::copy_file(TOLVANE_BIN_DIR "/win32_slow_child.exe", path,
                                       std::filesystem::copy_options::overwrite_existing);
        }
        ~PlantedChild() {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
        std::filesystem::path path;
    } planted;
    const std::string slowChild = "tolvslowchild.exe";
    int commands = 0;
    std::atomic<bool> slowRunning{false};
};

// Another thread asks as the shell and the system do (a sent WM_NULL is how Windows tells a
// hung window), while the restart's first command runs: the window answers before the command
// has ended, and refuses the end of the session until the restart is over.
TEST_F(Win32BusyWindowTest, TheWindowAnswersAndHoldsALogoffOffWhileARestartRuns) {
    HWND window = OpenWithSlowCommand(test::UnusedLoopbackPort());
    struct Asked {
        bool nullAnswered = false;
        bool answeredWhileRunning = false;
        bool hung = true;
        bool queryAnswered = false;
        DWORD_PTR queryResult = 1;
    } asked;
    std::atomic<bool> done{false};
    std::thread asker([&] {
        // Bounded, so a command that never starts fails the test instead of hanging it.
        for (int waited = 0; !slowRunning && waited < 60000; waited += 20) {
            Sleep(20);
        }
        DWORD_PTR result = 0;
        asked.nullAnswered =
            SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerBound, &result) != 0;
        asked.answeredWhileRunning = slowRunning;
        asked.hung = IsHungAppWindow(window) != FALSE;
        asked.queryAnswered =
            SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL,
                                kAnswerBound, &asked.queryResult) != 0;
        done = true;
    });
    Click(window, StartCommand);
    const bool ended = PumpUntil([&] { return done && dialog->Cycle().CycleBusy() == 0; });
    asker.join();
    ASSERT_TRUE(ended);
    EXPECT_TRUE(asked.nullAnswered);
    EXPECT_TRUE(asked.answeredWhileRunning) << "answered only once the command had ended";
    EXPECT_FALSE(asked.hung);
    EXPECT_TRUE(asked.queryAnswered);
    EXPECT_EQ(asked.queryResult, 0u) << "the logoff waits for the restart";
    EXPECT_EQ(commands, 4) << "the sequence ran whole";

    DWORD_PTR after = 0;
    ASSERT_NE(SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL,
                                  kAnswerBound, &after),
              0);
    EXPECT_EQ(after, 1u) << "between two checks the session may end";
}

// An SMTP server that accepts, keeps its greeting back for a while, then takes the mail as a
// server does. Its own thread; `holding` is true while the greeting is held back.
class SlowGreetingServer {
public:
    SlowGreetingServer() {
        thread_ = std::thread([this] {
            const int fd = listener_.Accept(60000);
            if (fd < 0) {
                return;
            }
            LineSocket peer;
            peer.Adopt(Socket(static_cast<NativeSocket>(fd)));
            holding = true;
            Sleep(kSlowGreetingMs);
            holding = false;
            Play(peer);
        });
    }
    ~SlowGreetingServer() { Join(); }

    std::uint16_t Port() const { return listener_.Port(); }
    // Waits for the dialogue to end; every line the client sent.
    std::vector<std::string> Received() {
        Join();
        return received_;
    }

    std::atomic<bool> holding{false};

private:
    void Play(LineSocket& peer) {
        const auto later = [] { return std::chrono::steady_clock::now() + std::chrono::seconds(30); };
        peer.SendText("220 slow ESMTP\r\n");
        std::string line;
        while (peer.ReadLine(line, later()) == 1) {
            received_.push_back(line);
            if (line == "DATA\r\n") {
                peer.SendText("354 go ahead\r\n");
                while (peer.ReadLine(line, later()) == 1 && line != ".\r\n") {
                }
                received_.push_back(line);
                peer.SendText("250 queued\r\n");
            } else if (line == "QUIT\r\n") {
                peer.SendText("221 bye\r\n");
                return;
            } else {
                peer.SendText("250 ok\r\n");
            }
        }
    }
    void Join() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    LoopbackOnlyListener listener_;
    std::vector<std::string> received_;
    std::thread thread_;
};

// The restart's mail goes to a server that answers slowly: the window answers the system's
// question while the mail step waits for the greeting, and the mail still goes out whole.
TEST_F(Win32BusyWindowTest, TheWindowAnswersWhileTheMailWaitsForASlowServer) {
    SlowGreetingServer server;
    Settings settings;
    SettingsStore(hive).LoadSettings(settings);
    settings.Port = test::UnusedLoopbackPort();
    settings.CheckFtpSvc = 0;
    settings.CheckSmtpSvc = 0;
    settings.WithMail = 1;
    settings.Smtp = "127.0.0.1";
    settings.SmtpPort = server.Port();
    settings.From = "watch@example.com";
    settings.To = "admin@example.com";
    SettingsStore(hive).SaveSettings(settings);
    HWND window = Open();
    bool answered = false;
    bool answeredWhileHolding = false;
    bool hung = true;
    std::atomic<bool> done{false};
    std::thread asker([&] {
        for (int i = 0; i < 3000 && !server.holding; ++i) {
            Sleep(20);
        }
        DWORD_PTR result = 0;
        answered =
            SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerBound, &result) != 0;
        answeredWhileHolding = server.holding;
        hung = IsHungAppWindow(window) != FALSE;
        done = true;
    });
    Click(window, StartCommand);
    const bool ended = PumpUntil([&] {
        return done && !server.holding && dialog->Cycle().CycleBusy() == 0;
    });
    asker.join();
    ASSERT_TRUE(ended);
    EXPECT_TRUE(answered);
    EXPECT_TRUE(answeredWhileHolding) << "answered only once the server had spoken";
    EXPECT_FALSE(hung);
    const std::vector<std::string> received = server.Received();
    ASSERT_GE(received.size(), 2u);
    EXPECT_EQ(received[received.size() - 2], ".\r\n") << "the message went out whole";
    EXPECT_EQ(received.back(), "QUIT\r\n");
}

// The automatic start would start monitoring under the mail settings dialog, which the rules
// keep closed while monitoring runs: it waits until the dialog is closed.
TEST_F(Win32BusyWindowTest, TheAutomaticStartWaitsUntilTheMailDialogIsClosed) {
    LoopbackOnlyListener listener;
    ASSERT_EQ(SettingsStore(hive).SaveStartupMode(1), 1);
    Settings settings;
    SettingsStore(hive).LoadSettings(settings);
    settings.Port = listener.Port();
    SettingsStore(hive).SaveSettings(settings);
    HWND window = Open();
    ASSERT_TRUE(dialog->TimerArmed(AutoStartTimer));
    bool stoppedInside = false;
    bool armedInside = false;
    WhileModal(
        window, [&] { Click(window, MailSettingsCommand); },
        [&](HWND mailDialog) {
            // Past two of the automatic start's one-second delays, inside the dialog's loop.
            PumpUntil([] { return false; }, 2500);
            stoppedInside = dialog->Cycle().Stopped() == 1;
            armedInside = dialog->TimerArmed(AutoStartTimer);
            PostMessageW(mailDialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        });
    EXPECT_TRUE(stoppedInside) << "started under the mail settings dialog";
    EXPECT_TRUE(armedInside) << "the automatic start still waits";
    EXPECT_TRUE(PumpUntil([&] { return dialog->Cycle().Stopped() == 0; }))
        << "the automatic start came once the dialog had closed";
}

// After a check the focus is where Return presses the default button Hide, not Stop: a real
// key press through the system's input hides the window and leaves the monitor running.
TEST_F(Win32BusyWindowTest, ReturnAfterACheckHidesTheWindowAndNeverStopsTheMonitor) {
    LoopbackOnlyListener listener;
    Settings settings;
    settings.Port = listener.Port();
    SettingsStore(hive).SaveSettings(settings);
    HWND window = Open();
    SetForegroundWindow(window);
    Click(window, StartCommand);
    ASSERT_TRUE(PumpUntil([&] { return dialog->Cycle().CycleBusy() == 0; }));
    EXPECT_EQ(GetFocus(), GetDlgItem(window, HideCommand));
    INPUT keys[2] = {};
    for (INPUT& key : keys) {
        key.type = INPUT_KEYBOARD;
        key.ki.wVk = VK_RETURN;
    }
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ASSERT_EQ(SendInput(2, keys, sizeof(INPUT)), 2u);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(window); }, 10000)) << "Return hid it";
    EXPECT_EQ(dialog->Cycle().Stopped(), 0u) << "Return pressed Stop";
    EXPECT_TRUE(dialog->TimerArmed(CheckTimer));
}

// Enabling and disabling draws the controls at once: none is left waiting for a paint that
// would only come when the thread is free again.
TEST_F(Win32BusyWindowTest, EnablingRedrawsTheControlsAtOnce) {
    HWND window = Open();
    PumpUntil([&] { return GetUpdateRect(window, nullptr, FALSE) == FALSE; }, 5000);
    Click(window, StartCommand);
    for (int id : {StartCommand, ExitCommand, ConnectionTestCommand, PortField, IntervalField,
                   FtpCheck, SmtpCheck, MsdtcCheck, NntpCheck}) {
        HWND control = GetDlgItem(window, id);
        EXPECT_FALSE(IsWindowEnabled(control)) << id;
        EXPECT_EQ(GetUpdateRect(control, nullptr, FALSE), FALSE) << id << " waits for a paint";
    }
}

}  // namespace
}  // namespace tolvane
