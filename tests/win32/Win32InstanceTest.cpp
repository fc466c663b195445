// One monitor per machine on Windows: the named mutex that tolvanectl.exe monitor takes.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/InstanceMarker.h"
#include "platform/Process.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/Win32TestSupport.h"

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

TEST(Win32Tolvanectl, ASecondMonitorIsRefusedWhileTheFirstHoldsTheMutex) {
    // A marker of this test's own, inherited by the copies it starts.
    const std::string id = std::to_string(GetCurrentProcessId());
    _putenv_s("TOLVANE_TEST_INSTANCE", id.c_str());
    SetEnvironmentVariableW(L"TOLVANE_TEST_INSTANCE", std::wstring(id.begin(), id.end()).c_str());
    const std::string name = InstanceMarker::ProgramName();
    ASSERT_EQ(name, "hPrevTOLVInstance.test." + id);

    test::TempDir dir;
    const std::string tolvanectl =
        test::WindowsPath(std::string(TOLVANE_BIN_DIR) + "/tolvanectl.exe");
    const std::string out = dir.File("out.txt");
    ASSERT_EQ(test::RunToFile(tolvanectl + " set Interval=60 Port=" +
                                  std::to_string(test::UnusedLoopbackPort()) +
                                  " CheckFtpSvc=0 CheckSmtpSvc=0",
                              out),
              0);

    ChildProcess first;
    ASSERT_TRUE(first.Start(tolvanectl + " monitor"));
    ASSERT_TRUE(test::WaitUntil([&] { return MutexExists(name); }, 30s));

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

}  // namespace
}  // namespace tolvane
