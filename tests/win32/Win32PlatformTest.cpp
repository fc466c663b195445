// The Win32 sides of os/ and registry/ on the real system calls: registry, processes, named mutex
// and semaphore, Winsock, module folder and local time (under Wine in the test run).
#include <windows.h>
// Ours is meant below, not the macro for GetComputerNameA.
#undef GetComputerName

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "monitor/PortProbe.h"
#include "monitor/RestartLog.h"
#include "os/CodePage.h"
#include "os/CommandRunner.h"
#include "os/ComputerName.h"
#include "os/InstanceMarker.h"
#include "os/LocalTime.h"
#include "os/Process.h"
#include "os/ResolverLock.h"
#include "os/Win32Text.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/Win32TestSupport.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;

class CountingClock final : public Clock {
public:
    void Pause(std::uint32_t) override { ++pauses; }
    std::time_t Now() override { return std::time(nullptr); }
    int pauses = 0;
};

TEST(Win32CodePage, ConvertsWithCodePage932WhateverTheAnsiCodePage) {
    // The test prefix runs with an ANSI code page other than 932.
    EXPECT_NE(GetACP(), 932u);
    EXPECT_EQ(Sjis("表ソ"), "\x95\x5C\x83\x5C");
    EXPECT_EQ(Cp932ToUtf8("\x95\x5C\x83\x5C\x81\x60"), "表ソ～");
    std::string cp932;
    EXPECT_FALSE(LocaleToCp932("€", cp932)) << "no CP932 form: refused, never replaced";
    EXPECT_TRUE(LocaleToCp932("ｳｲﾝﾄﾞｰ", cp932));
    EXPECT_EQ(cp932, "\xB3\xB2\xDD\xC4\xDE\xB0");
}

struct ExitCase {
    const char* line;
    bool started;
    int exitCode;
};

TEST(Win32Process, StartsLinesAsGivenAndReadsTheirExitCodes) {
    const ExitCase cases[] = {
        {"cmd.exe /C exit 0", true, 0},
        {"cmd.exe /C exit 2", true, 2},
        // No command.com on 64-bit Windows: the same line runs with %ComSpec%.
        {"command.com /C exit 7", true, 7},
        {"COMMAND.COM /C exit 0", true, 0},
        {"no-such-program-anywhere.exe", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ChildProcess child;
        ASSERT_EQ(child.Start(c.line), c.started);
        if (c.started) {
            const ExitState state = child.Wait();
            EXPECT_TRUE(state.readable);
            EXPECT_FALSE(state.running);
            EXPECT_EQ(state.exitCode, c.exitCode);
        }
    }
}

TEST(Win32Process, APresentCommandComIsUsedAsItIs) {
    // tolvanectl.exe as command.com in the current folder, searched before the system's:
    // "/C" is no command of it, so it ends with 2 where cmd.exe would end with 0.
    test::TempDir dir;
    std::filesystem::copy_file(std::string(TOLVANE_BIN_DIR) + "/tolvanectl.exe",
                               dir.File("command.com"));
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    ChildProcess child;
    const bool started = child.Start("command.com /C exit 0");
    const ExitState state = child.Wait();
    std::filesystem::current_path(previous);
    ASSERT_TRUE(started);
    EXPECT_EQ(state.exitCode, 2);
}

TEST(Win32Process, CommandComLinesRunThroughTheCommandInterpreter) {
    test::TempDir dir;
    const std::string out = test::WindowsPath(dir.File("out.txt"));
    EXPECT_TRUE(
        CommandRunner::Run("command.com /C echo restarted> \"" + out + "\"", nullptr).Succeeded());
    EXPECT_EQ(test::ReadFile(out), "restarted\r\n");
    // A program the interpreter cannot find fails; a program that cannot be started at all
    // fails at once, without the runner's pause.
    EXPECT_FALSE(CommandRunner::Run("command.com /C no-such-service-tool", nullptr).Succeeded());
    CountingClock clock;
    EXPECT_EQ(CommandRunner::Run("no-such-service-tool.exe /C net start w3svc", nullptr, clock).end,
              CommandEnd::NotStarted);
    EXPECT_EQ(clock.pauses, 0);
}

TEST(Win32Process, AChildInheritsNoHandle) {
    // An inheritable handle of ours on a file nobody may share: a child that inherited it
    // would keep the file closed to others after we let go of it.
    test::TempDir dir;
    const std::wstring path = std::filesystem::path(dir.File("held")).wstring();
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, &inheritable, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ChildProcess child;
    // /K without input of its own: the interpreter waits until it is ended.
    ASSERT_TRUE(child.Start("cmd.exe /K"));
    CloseHandle(file);
    HANDLE again = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(again, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    CloseHandle(again);
    EXPECT_TRUE(child.Poll().running);
    test::EndProcess(child.Pid());
    child.Wait();
}

TEST(Win32Module, TheFolderOfTheExecutableKeepsItsBackslash) {
    const std::string folder = ExecutableDirectory();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_TRUE(test::ReadFile(ExecutablePath()).size() > 0);
    EXPECT_EQ(ExecutablePath().substr(0, folder.size()), folder);
    RestartLog log(RealClock());
    EXPECT_EQ(log.Path(), folder + "TOLVREBOOT.LOG");
}

TEST(Win32Module, TheRestartLogHoldsCp932LinesWithCrLf) {
    test::TempDir dir;
    RestartLog log(RealClock(), test::WindowsPath(dir.Path()) + "\\");
    log.Append(Sjis("IISを再起動しました"));
    log.Append("a\nb");
    const std::string text = test::ReadFile(log.Path());
    ASSERT_EQ(test::CountOf(text, "\r\n"), 3u) << text;
    EXPECT_NE(text.find("\t" + Sjis("IISを再起動しました") + "\r\n"), std::string::npos);
    EXPECT_NE(text.find("\ta\r\nb\r\n"), std::string::npos);
}

// Another program's open without write sharing (an editor, a backup tool) refuses the log's
// own. The line is tried again and lands once the other program has closed the file; a file
// held for longer than a second loses the line, and the loss is reported.
class LockedLogTest : public ::testing::Test {
protected:
    // Opens the log as such a program does: read and write, sharing it for reading only.
    void Lock() {
        lock_ = CreateFileW(ToWide(log.Path()).c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(lock_, INVALID_HANDLE_VALUE);
    }
    void Unlock() {
        if (lock_ != INVALID_HANDLE_VALUE) {
            CloseHandle(lock_);
            lock_ = INVALID_HANDLE_VALUE;
        }
    }
    void TearDown() override { Unlock(); }

    // The real clock, whose pauses the test counts, letting the file go at the one it chooses.
    class CountingClock final : public Clock {
    public:
        explicit CountingClock(std::function<void(int)> onPause) : onPause_(std::move(onPause)) {}
        void Pause(std::uint32_t ms) override {
            onPause_(++pauses);
            RealClock().Pause(ms);
        }
        std::time_t Now() override { return RealClock().Now(); }
        int pauses = 0;

    private:
        std::function<void(int)> onPause_;
    };

    test::TempDir dir;
    int releaseAtPause = 0;
    CountingClock clock{[this](int pause) {
        if (pause == releaseAtPause) {
            Unlock();
        }
    }};
    RestartLog log{clock, test::WindowsPath(dir.Path()) + "\\"};
    std::vector<std::string> reports;
    HANDLE lock_ = INVALID_HANDLE_VALUE;
};

TEST_F(LockedLogTest, ALineWaitsForTheOtherProgramToCloseTheLog) {
    log.SetLossReport([&](const std::string& report) { reports.push_back(report); });
    Lock();
    releaseAtPause = 3;
    log.Append("kept");
    EXPECT_EQ(clock.pauses, 3);
    EXPECT_NE(test::ReadFile(log.Path()).find("\tkept\r\n"), std::string::npos);
    EXPECT_TRUE(reports.empty());
}

TEST_F(LockedLogTest, ALineRefusedForASecondIsLostAndTheLossReported) {
    log.SetLossReport([&](const std::string& report) { reports.push_back(report); });
    Lock();
    log.Append("lost");
    EXPECT_EQ(clock.pauses,
              static_cast<int>(RestartLog::kLockedPatienceMs / RestartLog::kLockedRetryMs));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], Sjis("TOLVREBOOT.LOG に書き込めませんでした: lost"));
    Unlock();
    EXPECT_EQ(test::ReadFile(log.Path()).find("lost"), std::string::npos);
    // A read-only log loses its line quietly and at once, as before.
    ASSERT_TRUE(SetFileAttributesW(ToWide(log.Path()).c_str(), FILE_ATTRIBUTE_READONLY));
    clock.pauses = 0;
    log.Append("read-only");
    EXPECT_EQ(clock.pauses, 0);
    EXPECT_EQ(reports.size(), 1u);
    SetFileAttributesW(ToWide(log.Path()).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Win32Names, ComputerNameAndLocalTime) {
    const std::string name = GetComputerName();
    EXPECT_FALSE(name.empty());
    EXPECT_LE(name.size(), 15u) << "a NetBIOS name";
    // The stamp of a moment equals the system's local time of that moment.
    for (int attempt = 0; attempt < 5; ++attempt) {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        const std::string formatted = FormatLocalTime(std::time(nullptr));
        char expected[32];
        std::snprintf(expected, sizeof expected, "%04u/%02u/%02u %02u:%02u:%02u", now.wYear,
                      now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
        if (formatted == expected) {
            return;
        }
    }
    ADD_FAILURE() << "the stamp never matched GetLocalTime";
}

TEST(Win32Instance, TheNamedMutexAdmitsOneCopy) {
    const std::string name = "hPrevTOLVInstance-test-" + std::to_string(GetCurrentProcessId());
    {
        InstanceMarker first(name);
        EXPECT_EQ(first.State(), InstanceMarker::Claim::Held);
        InstanceMarker second(name);
        EXPECT_EQ(second.State(), InstanceMarker::Claim::HeldByOther);
    }
    InstanceMarker later(name);
    EXPECT_EQ(later.State(), InstanceMarker::Claim::Held) << "the mark goes with its holder";
}

// A later copy learns who holds the marker without the holder's help.
TEST(Win32Instance, TheHolderIsKnownByProgramAndProcessWhileItLives) {
    const std::string name = "hPrevTOLVInstance-who-" + std::to_string(GetCurrentProcessId());
    {
        InstanceMarker marker(name);
        ASSERT_EQ(marker.State(), InstanceMarker::Claim::Held);
        marker.Announce(InstanceMarker::Program::Tolvanectl);
        const InstanceMarker::Holder holder = InstanceMarker::FindHolder(name);
        EXPECT_EQ(holder.program, InstanceMarker::Program::Tolvanectl);
        EXPECT_EQ(holder.pid, static_cast<long>(GetCurrentProcessId()));
    }
    EXPECT_EQ(InstanceMarker::FindHolder(name).program, InstanceMarker::Program::Unknown);
}

TEST(Win32Resolver, TheNamedSemaphoreAdmitsOneLookupAtATime) {
    // Machine-wide: monitors in other sessions resolve under the same semaphore.
    EXPECT_EQ(ResolverLock::DefaultName(), "Global\\SWAPPREENTRANTFUNCSWAPPREENTRANTFUNC");
    const std::string name = "RESOLVERTEST" + std::to_string(GetCurrentProcessId());
    auto held = std::make_unique<ResolverLock>(name, 0ms);
    ASSERT_TRUE(held->Locked());
    {
        ResolverLock waiting(name, 200ms);
        EXPECT_FALSE(waiting.Locked()) << "bounded: gives up while the other holds it";
    }
    std::thread release([&] {
        std::this_thread::sleep_for(100ms);
        held.reset();
    });
    ResolverLock after(name, 30s);
    EXPECT_TRUE(after.Locked());
    release.join();
}

TEST(Win32Sockets, TheProbeConnectsOnLoopbackAndIsRefusedWithoutAListener) {
    test::LoopbackOnlyListener listener;
    Socket socket;
    EXPECT_TRUE(PortProbe("127.0.0.1", listener.Port(), socket));
    const int accepted = listener.Accept(10000);
    ASSERT_GE(accepted, 0);
    socket.Close();
    EXPECT_TRUE(test::EndsWithoutData(accepted, 10000));

    Socket refused;
    EXPECT_FALSE(PortProbe("127.0.0.1", test::UnusedLoopbackPort(), refused));
    // The port is taken by its low 16 bits.
    test::LoopbackOnlyListener wrapped;
    Socket high;
    EXPECT_TRUE(PortProbe("127.0.0.1", 0x10000u + wrapped.Port(), high));
}

}  // namespace
}  // namespace tolvane
