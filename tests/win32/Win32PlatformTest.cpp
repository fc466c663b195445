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
#include "registry/Registry.h"
#include "settings/SettingsStore.h"
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
    bool system;  // a line of the restart or the mail: StartSystemCommand
    bool started;
    int exitCode;
};

TEST(Win32Process, StartsLinesAsGivenAndReadsTheirExitCodes) {
    const ExitCase cases[] = {
        {"cmd.exe /C exit 0", false, true, 0},
        {"cmd.exe /C exit 2", false, true, 2},
        // No command.com on 64-bit Windows: the same line runs with the system's cmd.exe.
        {"command.com /C cmd.exe /C exit 7", true, true, 7},
        {"COMMAND.COM /C cmd /C exit 0", true, true, 0},
        {"CMD.EXE /C cmd /C exit 3", true, true, 3},
        {"no-such-program-anywhere.exe", false, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ChildProcess child;
        const bool started = c.system ? child.StartSystemCommand(c.line) == SystemStart::Started
                                      : child.Start(c.line);
        ASSERT_EQ(started, c.started);
        if (c.started) {
            const ExitState state = child.Wait();
            EXPECT_TRUE(state.readable);
            EXPECT_FALSE(state.running);
            EXPECT_EQ(state.exitCode, c.exitCode);
        }
    }
}

TEST(Win32Process, CommandComLinesRunThroughTheCommandInterpreter) {
    test::TempDir dir;
    const std::string out = test::WindowsPath(dir.File("out.txt"));
    EXPECT_TRUE(CommandRunner::Run("command.com /C cmd.exe /C echo restarted> \"" + out + "\"",
                                   nullptr)
                    .Succeeded());
    EXPECT_EQ(test::ReadFile(out), "restarted\r\n");
    // A program that is not in the system folder is not run at all, without the runner's pause.
    CountingClock clock;
    EXPECT_EQ(CommandRunner::Run("command.com /C no-such-service-tool", nullptr, clock).end,
              CommandEnd::Skipped);
    EXPECT_EQ(CommandRunner::Run("no-such-service-tool.exe /C net start w3svc", nullptr, clock).end,
              CommandEnd::Skipped);
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
    ASSERT_TRUE(child.Start("\"" + test::WindowsPath(TOLVANE_BIN_DIR "/win32_test_child.exe") +
                            "\" --sleep"));
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

// A folder named in any script is the log's folder, byte for byte: code page 932 would have
// lost Ł and ź ("?"), changed é into e, and made ¥ a backslash.
TEST(Win32Module, TheLogIsWrittenBesideTheExecutableInAFolderOfAnyName) {
    test::TempDir dir;
    test::DeleteSettingsKey();
    RegistryHive hive(RegistryHive::ClassesRootPath());
    Settings settings;
    settings.Port = test::UnusedLoopbackPort();
    settings.Interval = 1;
    ASSERT_EQ(SettingsStore(hive).SaveSettings(settings), 1);
    for (const char* name : {"Łódź", "José", "a¥b"}) {
        SCOPED_TRACE(name);
        const std::filesystem::path folder =
            std::filesystem::u8path(dir.Path()) / std::filesystem::u8path(name);
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(std::string(TOLVANE_BIN_DIR) + "/tolvanectl.exe",
                                   folder / "tolvanectl.exe");
        const std::string program =
            test::WindowsPath(dir.Path()) + "\\" + name + "\\tolvanectl.exe";
        ASSERT_EQ(test::RunUtf8ToFile("\"" + program + "\" paths", dir.File("paths.txt")), 0);
        const std::string log = test::WindowsPath(dir.Path()) + "\\" + name + "\\TOLVREBOOT.LOG";
        EXPECT_NE(test::ReadFile(dir.File("paths.txt")).find("restart log:  " + log + "\r\n"),
                  std::string::npos)
            << test::ReadFile(dir.File("paths.txt"));
        // The monitor finds no listener and logs the restart there.
        const long monitor = test::StartUtf8("\"" + program + "\" monitor");
        ASSERT_GT(monitor, 0);
        const bool logged = test::WaitUntil(
            [&] { return std::filesystem::exists(folder / "TOLVREBOOT.LOG"); }, 60s);
        test::EndProcess(monitor);
        EXPECT_TRUE(logged) << "no log in " << log;
    }
    test::DeleteSettingsKey();
}

// Another program's open without write sharing (an editor, a backup tool) refuses the log's
// own. The line is tried again and lands once the other program has closed the file; a file
// held for longer than a second loses the line, and the loss is reported.
class LockedLogTest : public ::testing::Test {
protected:
    // Opens the log as such a program does: read and write, sharing it for reading only.
    void Lock() {
        lock_ = CreateFileW(PathToWide(log.Path()).c_str(), GENERIC_READ | GENERIC_WRITE,
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
    ASSERT_TRUE(SetFileAttributesW(PathToWide(log.Path()).c_str(), FILE_ATTRIBUTE_READONLY));
    clock.pauses = 0;
    log.Append("read-only");
    EXPECT_EQ(clock.pauses, 0);
    EXPECT_EQ(reports.size(), 1u);
    SetFileAttributesW(PathToWide(log.Path()).c_str(), FILE_ATTRIBUTE_NORMAL);
}

// The probe takes the DNS host name whole, as hostname.exe prints it (not cut to 15
// characters); only the SMTP greeting takes the NetBIOS name.
TEST(Win32Names, ComputerNameAndLocalTime) {
    test::TempDir dir;
    ASSERT_EQ(test::RunToFile("hostname.exe", dir.File("hostname.txt")), 0);
    std::string hostname = test::ReadFile(dir.File("hostname.txt"));
    hostname.erase(hostname.find_last_not_of("\r\n") + 1);
    const std::string name = GetComputerName();
    EXPECT_FALSE(name.empty());
    // Wine's hostname.exe prints the name in upper case; names resolve regardless of case.
    EXPECT_EQ(_stricmp(name.c_str(), hostname.c_str()), 0) << name << " against " << hostname;
    const std::string greeted = GetShortComputerName();
    EXPECT_FALSE(greeted.empty());
    EXPECT_LE(greeted.size(), 15u) << "a NetBIOS name";
    wchar_t netbios[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(GetComputerNameW(netbios, &size));
    EXPECT_EQ(PathToWide(greeted), std::wstring(netbios, size));
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
