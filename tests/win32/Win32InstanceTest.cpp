// One monitor per machine on Windows: the named mutex that tolvanectl.exe monitor takes.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "os/InstanceMarker.h"
#include "os/Process.h"
#include "os/Win32Text.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/Win32TestSupport.h"
#include "ui/model/UiTexts.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;
using test::MessageBoxOf;
using test::TextOf;
using test::WindowOf;

bool MutexExists(const std::string& name) {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, std::wstring(name.begin(), name.end()).c_str());
    if (mutex == nullptr) {
        return false;
    }
    CloseHandle(mutex);
    return true;
}

// tolvanectl.exe monitor running under a marker of this test's own, inherited by the copies
// the test starts.
class HeadlessMonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string id = std::to_string(GetCurrentProcessId());
        _putenv_s("TOLVANE_TEST_INSTANCE", id.c_str());
        SetEnvironmentVariableW(L"TOLVANE_TEST_INSTANCE",
                                std::wstring(id.begin(), id.end()).c_str());
        name = InstanceMarker::ProgramName();
        ASSERT_EQ(name, "hPrevTOLVInstance.test." + id);
        ASSERT_EQ(test::RunToFile(tolvanectl + " set Interval=60 Port=" +
                                      std::to_string(test::UnusedLoopbackPort()) +
                                      " CheckFtpSvc=0 CheckSmtpSvc=0",
                                  out),
                  0);
        ASSERT_TRUE(first.Start(tolvanectl + " monitor"));
        ASSERT_TRUE(test::WaitUntil([&] { return MutexExists(name); }, 30s));
    }
    void TearDown() override {
        if (first.Started()) {
            test::EndProcess(first.Pid());
            first.Wait();
        }
    }

    test::TempDir dir;
    const std::string bin = test::WindowsPath(std::string(TOLVANE_BIN_DIR));
    const std::string tolvanectl = bin + "\\tolvanectl.exe";
    const std::string out = dir.File("out.txt");
    std::string name;
    ChildProcess first;
};

TEST_F(HeadlessMonitorTest, ASecondMonitorIsRefusedWhileTheFirstHoldsTheMutex) {
    EXPECT_EQ(test::RunToFile(tolvanectl + " monitor", out), 3);
    EXPECT_NE(test::ReadFile(out).find("tolvanectl monitor (process " +
                                       std::to_string(first.Pid()) + ")"),
              std::string::npos)
        << test::ReadFile(out);
    EXPECT_TRUE(first.Poll().running) << "the first copy goes on";

    test::EndProcess(first.Pid());
    first.Wait();
    EXPECT_FALSE(MutexExists(name)) << "the mark goes with its holder";
}

// The window has nothing to bring back: a box names the running monitor, and the copy ends.
TEST_F(HeadlessMonitorTest, TheWindowBesideItSaysSoInABoxAndEnds) {
    ChildProcess window;
    ASSERT_TRUE(window.Start(bin + "\\tolvane.exe"));
    HWND box = nullptr;
    ASSERT_TRUE(test::WaitUntil([&] { return (box = MessageBoxOf(window.Pid())) != nullptr; }, 60s))
        << "waited for the message box";
    EXPECT_EQ(TextOf(box), "IIS Tolvane");
    // The message box's text is its static control 0xFFFF.
    EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)), MonitoredByTolvanectl(first.Pid()));
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    const ExitState ended = window.Wait();
    EXPECT_EQ(ended.exitCode, 3);
    EXPECT_TRUE(first.Poll().running) << "the monitor goes on";
}

// The marker under this test's own name, as the copies it starts see it.
std::string TestMarkerName() {
    const std::string id = std::to_string(GetCurrentProcessId());
    _putenv_s("TOLVANE_TEST_INSTANCE", id.c_str());
    SetEnvironmentVariableW(L"TOLVANE_TEST_INSTANCE", std::wstring(id.begin(), id.end()).c_str());
    return InstanceMarker::ProgramName();
}

// A monitor in another session holds only the machine-wide names here: the mutex under
// Global\ and its announcement. Both programs are refused and name it.
TEST(GlobalMarkerTest, AMonitorInAnotherSessionIsSeenAndNamed) {
    const std::wstring name = ToWide(TestMarkerName());
    HANDLE mutex = CreateMutexW(nullptr, FALSE, (L"Global\\" + name).c_str());
    ASSERT_NE(mutex, nullptr);
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 64,
                                        (L"Global\\" + name + L".holder").c_str());
    ASSERT_NE(mapping, nullptr);
    const long pid = static_cast<long>(GetCurrentProcessId());
    const std::string announced = "tolvanectl." + std::to_string(pid);
    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 64);
    ASSERT_NE(view, nullptr);
    std::memcpy(view, announced.c_str(), announced.size() + 1);
    UnmapViewOfFile(view);

    test::TempDir dir;
    const std::string bin = test::WindowsPath(std::string(TOLVANE_BIN_DIR));
    ChildProcess monitor;
    ASSERT_TRUE(monitor.Start(bin + "\\tolvanectl.exe monitor"));
    const bool ended = test::WaitUntil([&] { return !monitor.Poll().running; }, 60s);
    if (!ended) {
        test::EndProcess(monitor.Pid());
    }
    EXPECT_EQ(monitor.Wait().exitCode, 3);
    ASSERT_TRUE(ended) << "a second monitor ran beside the one in the other session";
    EXPECT_EQ(test::RunToFile(bin + "\\tolvanectl.exe monitor", dir.File("out.txt")), 3);
    EXPECT_NE(test::ReadFile(dir.File("out.txt"))
                  .find("tolvanectl monitor (process " + std::to_string(pid) + ")"),
              std::string::npos)
        << test::ReadFile(dir.File("out.txt"));

    ChildProcess window;
    ASSERT_TRUE(window.Start(bin + "\\tolvane.exe"));
    HWND box = nullptr;
    const bool boxShown =
        test::WaitUntil([&] { return (box = MessageBoxOf(window.Pid())) != nullptr; }, 60s);
    if (boxShown) {
        EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)), MonitoredByTolvanectl(pid));
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    } else {
        test::EndProcess(window.Pid());
    }
    EXPECT_TRUE(boxShown) << "the window ran beside the monitor in the other session";
    EXPECT_EQ(window.Wait().exitCode, 3);
    CloseHandle(mapping);
    CloseHandle(mutex);
}

// The running copy's own top-level window: its process, its title, no owner.
HWND MainWindowOf(long pid) {
    return WindowOf(pid, [](HWND window) {
        return GetWindow(window, GW_OWNER) == nullptr && TextOf(window) == "IIS Tolvane";
    });
}

// The status line as another process reads it, never waiting more than 5 s for the answer.
std::wstring StatusOf(HWND window) {
    wchar_t text[256] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(GetDlgItem(window, 1000), WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text),
                        SMTO_NORMAL, 5000, &length);
    return text;
}

bool Restarting(HWND window) {
    // "…を停止中..." or "…を開始中...": a row of the restart.
    const std::wstring status = StatusOf(window);
    return status.find(L"\u505c\u6b62\u4e2d") != std::wstring::npos ||
           status.find(L"\u958b\u59cb\u4e2d") != std::wstring::npos;
}

// A second start while the first copy, minimised, restarts the services: the second copy
// ends while the restart still runs, and the first copy's window comes back restored.
TEST(RunningWindowTest, ASecondStartRestoresTheMinimisedWindowWhileItRestarts) {
    TestMarkerName();
    test::TempDir dir;
    const std::string bin = test::WindowsPath(std::string(TOLVANE_BIN_DIR));
    // Nine commands of at least a second each: a restart long enough to start a copy in.
    ASSERT_EQ(test::RunToFile(bin + "\\tolvanectl.exe set Interval=60 Port=" +
                                  std::to_string(test::UnusedLoopbackPort()) +
                                  " CheckFtpSvc=1 CheckSmtpSvc=1 CheckNntpSvc=1 CheckMsdtc=1"
                                  " AutoStartupMode=0 WithMail=0",
                              dir.File("set.txt")),
              0)
        << test::ReadFile(dir.File("set.txt"));
    // A copy of its own, so that its restart log stays in the test's folder.
    std::filesystem::copy_file(std::string(TOLVANE_BIN_DIR) + "/tolvane.exe",
                               dir.File("tolvane.exe"));
    const std::string program = test::WindowsPath(dir.File("tolvane.exe"));
    ChildProcess first;
    ASSERT_TRUE(first.Start(program));
    HWND window = nullptr;
    ASSERT_TRUE(
        test::WaitUntil([&] { return (window = MainWindowOf(first.Pid())) != nullptr; }, 60s));
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, 1)));
    EXPECT_TRUE(test::WaitUntil([&] { return Restarting(window); }, 60s));
    PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(test::WaitUntil([&] { return IsIconic(window) != FALSE; }, 30s));

    ChildProcess second;
    ASSERT_TRUE(second.Start(program));
    EXPECT_EQ(second.Wait().exitCode, 0);
    EXPECT_TRUE(Restarting(window)) << "the second copy waited for the restart to end";
    EXPECT_TRUE(test::WaitUntil(
        [&] { return IsIconic(window) == FALSE && IsWindowVisible(window) != FALSE; }, 30s))
        << "the first copy's window was not restored";
    EXPECT_TRUE(first.Poll().running);
    test::EndProcess(first.Pid());
    first.Wait();
    test::DeleteSettingsKey();
}

// A standard user's start beside a key an administrator made: the window, once it is up, says
// in its status line and in one box that it cannot save the settings. The services of the
// restart, none of which this prefix has, are no lack of rights (the service manager's answer
// for services it refuses is tested through the window's seam: Wine grants everything).
TEST(RightsAtStartTest, TheWindowThatCannotSaveItsSettingsSaysSoInItsStatusLineAndABox) {
    TestMarkerName();
    test::TempDir dir;
    const std::string bin = test::WindowsPath(std::string(TOLVANE_BIN_DIR));
    ASSERT_EQ(test::RunToFile(bin + "\\tolvanectl.exe set Interval=60 AutoStartupMode=0",
                              dir.File("set.txt")),
              0);
    struct KeyGuard {
        ~KeyGuard() { test::DeleteSettingsKey(); }
    } guard;
    ASSERT_TRUE(test::MakeSettingsKeyReadOnly(true));
    ChildProcess window;
    ASSERT_TRUE(window.Start(bin + "\\tolvane.exe"));
    HWND main = nullptr;
    HWND box = nullptr;
    const bool shown = test::WaitUntil(
        [&] {
            main = MainWindowOf(window.Pid());
            box = main == nullptr ? nullptr : WindowOf(window.Pid(), [main](HWND candidate) {
                return GetWindow(candidate, GW_OWNER) == main && IsWindowVisible(candidate);
            });
            return box != nullptr;
        },
        60s);
    if (shown) {
        const std::string note =
            Text(UiText::SettingsCannotBeSaved) + Text(UiText::RunAsAdministrator);
        EXPECT_EQ(TextOf(box), "IIS Tolvane");
        EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)), note);
        EXPECT_EQ(FromWide(StatusOf(main)), note);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        EXPECT_TRUE(test::WaitUntil([&] { return IsWindow(box) == FALSE; }, 30s));
    }
    test::EndProcess(window.Pid());
    window.Wait();
    ASSERT_TRUE(shown) << "waited for the window's box";
}

}  // namespace
}  // namespace tolvane
