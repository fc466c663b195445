// One monitor per machine on Windows: the named mutex that tolvanectl.exe monitor takes.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
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

bool MutexExists(const std::string& name) {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, std::wstring(name.begin(), name.end()).c_str());
    if (mutex == nullptr) {
        return false;
    }
    CloseHandle(mutex);
    return true;
}

// A visible message box (dialog class "#32770") of the process.
HWND MessageBoxOf(long pid) {
    std::pair<DWORD, HWND> search{static_cast<DWORD>(pid), nullptr};
    EnumWindows(
        [](HWND window, LPARAM found) {
            auto* wanted = reinterpret_cast<std::pair<DWORD, HWND>*>(found);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t windowClass[16] = {};
            GetClassNameW(window, windowClass, 16);
            if (owner == wanted->first && IsWindowVisible(window) &&
                std::wstring(windowClass) == L"#32770") {
                wanted->second = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.second;
}

std::string TextOf(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return FromWide(text);
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

}  // namespace
}  // namespace tolvane
