// The service IISTolvane on Wine's real service control manager: tolvanectl.exe service
// install, start, status, stop and uninstall, the W3SVC test service restarted by it, a stop
// that waits for the restart under way, the copies beside it, and the Application log's
// source and message table. Wine's ReportEventW records nothing: what each event reports is
// tested on the cycle (MonitorCycleTest), its id and texts here against the message table.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/EventLog.win32.h"
#include "os/CodePage.h"
#include "os/ComputerName.h"
#include "os/Process.h"
#include "os/Socket.h"
#include "os/Win32Text.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/Win32TestSupport.h"
#include "ui/model/UiTexts.h"

// <winsock2.h> (through os/Socket.h) goes before <windows.h>.
#include <windows.h>
// This test means os/ComputerName's, not the system's.
#undef GetComputerName

namespace tolvane {
namespace {

using namespace std::chrono_literals;

constexpr wchar_t kService[] = L"IISTolvane";

bool PortAnswers(std::uint16_t port) {
    Socket socket = Socket::CreateBoundTcp();
    return socket.Connect(*ResolveIPv4("127.0.0.1"), port);
}

struct ScCloser {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using ScHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ScCloser>;

ScHandle OpenTolvaneService(DWORD access) {
    static ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    return ScHandle(OpenServiceW(manager.get(), kService, access));
}

SERVICE_STATUS_PROCESS StatusOf(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                         sizeof status, &needed);
    return status;
}

std::wstring RegistryText(const wchar_t* key, const wchar_t* name, DWORD& type) {
    wchar_t text[1024] = {};
    DWORD size = sizeof text;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_ANY, &type, text, &size) !=
        ERROR_SUCCESS) {
        return L"<missing>";
    }
    return text;
}

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::DeleteSettingsKey();
        std::filesystem::copy_file(std::string(TOLVANE_BIN_DIR) + "/tolvanectl.exe",
                                   dir_.File("tolvanectl.exe"));
        tolvanectl_ = "\"" + test::WindowsPath(dir_.File("tolvanectl.exe")) + "\"";
    }

    void TearDown() override {
        Ctl("service uninstall");
        if (!w3svc_.empty()) {
            Run("net.exe stop w3svc");
            Run("sc.exe delete W3SVC");
        }
        test::DeleteSettingsKey();
    }

    int Run(const std::string& commandLine) {
        return test::RunToFile(commandLine, dir_.File("out.txt"));
    }
    int Ctl(const std::string& args) { return Run(tolvanectl_ + " " + args); }
    std::string Output() { return test::ReadFile(dir_.File("out.txt")); }

    // W3SVC: the test service on a port of its own, loading for `loadMs` before it reaches
    // the manager, so that a start waits that long.
    void CreateW3svc(int loadMs) {
        port_ = test::UnusedLoopbackPort();
        w3svc_ = test::WindowsPath(std::string(TOLVANE_BIN_DIR) + "/win32_test_service.exe");
        ASSERT_EQ(Run("sc.exe create W3SVC binPath= \"" + w3svc_ + " " + std::to_string(port_) +
                      " " + std::to_string(loadMs) + "\""),
                  0)
            << Output();
        ASSERT_EQ(Run("net.exe start w3svc"), 0) << Output();
        ASSERT_TRUE(test::WaitUntil([&] { return PortAnswers(port_); }, 30s));
        test::StoreSecondlyChecksOf(port_);
    }

    std::string LogText() { return Cp932ToUtf8(test::ReadFile(dir_.File("TOLVREBOOT.LOG"))); }

    test::TempDir dir_;
    std::string tolvanectl_;
    std::string w3svc_;
    std::uint16_t port_ = 0;
};

TEST_F(ServiceTest, InstallRegistersTheServiceAndItsEventSourceAndUninstallRemovesThem) {
    ASSERT_EQ(Ctl("service install"), 0) << Output();
    const std::wstring program = PathToWide(test::WindowsPath(dir_.File("tolvanectl.exe")));
    {
        const ScHandle service = OpenTolvaneService(SERVICE_QUERY_CONFIG);
        ASSERT_TRUE(service);
        std::vector<BYTE> buffer(8192);
        DWORD needed = 0;
        ASSERT_TRUE(QueryServiceConfigW(service.get(),
                                        reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()),
                                        static_cast<DWORD>(buffer.size()), &needed));
        const auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        EXPECT_EQ(std::wstring(config->lpBinaryPathName), L"\"" + program + L"\" service run");
        EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
        EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
        EXPECT_EQ(std::wstring(config->lpServiceStartName), L"LocalSystem");
        EXPECT_EQ(std::wstring(config->lpDisplayName), L"IIS Tolvane");
        ASSERT_TRUE(QueryServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, buffer.data(),
                                         static_cast<DWORD>(buffer.size()), &needed));
        const auto* description = reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer.data());
        ASSERT_NE(description->lpDescription, nullptr);
        EXPECT_NE(std::wstring(description->lpDescription).find(L"Web サーバー"),
                  std::wstring::npos);
        // Wine stores the recovery actions without reading them back: install's exit code 0
        // says the call was taken.
    }
    DWORD type = 0;
    EXPECT_EQ(RegistryText(kEventSourceKey, L"EventMessageFile", type), program);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    DWORD types = 0;
    DWORD size = sizeof types;
    ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, kEventSourceKey, L"TypesSupported", RRF_RT_REG_DWORD,
                           nullptr, &types, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(types, 7u);

    // Installed again it stays one service; a stopped service's status says so.
    EXPECT_EQ(Ctl("service install"), 0) << Output();
    EXPECT_EQ(Ctl("service status"), 1);
    EXPECT_EQ(Output().rfind("IISTolvane: STOPPED", 0), 0u) << Output();

    ASSERT_EQ(Ctl("service uninstall"), 0) << Output();
    EXPECT_FALSE(OpenTolvaneService(SERVICE_QUERY_STATUS));
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Ctl("service status"), 1);
    EXPECT_NE(Output().find("not installed"), std::string::npos) << Output();
    // Outside the manager, `service run` says what it is for.
    EXPECT_EQ(Ctl("service run"), 2);
    EXPECT_NE(Output().find("tolvanectl monitor"), std::string::npos) << Output();
}

// Each event's id finds its text in tolvanectl.exe's message table, with its texts inserted,
// as the Event Viewer shows it.
TEST(EventMessagesTest, EachEventHasItsJapaneseTextInTheMessageTable) {
    struct Case {
        CycleEvent event;
        std::vector<std::string> texts;  // UTF-8 here, CP932 to the report
        WORD type;
        std::string shown;
    };
    const Case cases[] = {
        {CycleEvent::RestartBegun,
         {"status 503"},
         EVENTLOG_WARNING_TYPE,
         "接続できませんでした IISの再起動を開始します（確認の結果: status 503）"},
        {CycleEvent::CommandFailed,
         {"command.com /C net start w3svc", "終了コード 2"},
         EVENTLOG_WARNING_TYPE,
         "再起動のコマンドが成功しませんでした（終了コード 2）: command.com /C net start w3svc"},
        {CycleEvent::RestartEnded, {}, EVENTLOG_INFORMATION_TYPE, "IISを再起動しました"},
        {CycleEvent::Recovered,
         {"応答が戻りました（再起動の開始から 66 秒）"},
         EVENTLOG_INFORMATION_TYPE,
         "サーバーが再び応答しています: 応答が戻りました（再起動の開始から 66 秒）"},
        {CycleEvent::LimitReached,
         {"再起動を中止しました（60 分間に 2 回）"},
         EVENTLOG_ERROR_TYPE,
         "再起動の上限に達しました。サーバーが応答するまで再起動しません: "
         "再起動を中止しました（60 分間に 2 回）"},
        {CycleEvent::MailFailed,
         {"ホストが見つかりません。"},
         EVENTLOG_WARNING_TYPE,
         "メールが送信出来ませんでした　理由：ホストが見つかりません。"},
        {CycleEvent::SettingsRefused,
         {"Interval: Please enter an integer between 1 and 99999."},
         EVENTLOG_ERROR_TYPE,
         "設定が受け付けられないため、監視を開始しません: Interval: Please enter an integer "
         "between 1 and 99999."},
    };
    const std::wstring program =
        PathToWide(test::WindowsPath(std::string(TOLVANE_BIN_DIR) + "/tolvanectl.exe"));
    HMODULE module = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    std::vector<unsigned long> ids;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        std::vector<std::string> texts;
        for (const std::string& text : c.texts) {
            texts.push_back(Sjis(text));
        }
        const EventRecord record = ToEventRecord(c.event, texts);
        EXPECT_EQ(record.type, c.type);
        ids.push_back(record.id & 0xFFFF);
        std::vector<DWORD_PTR> inserts;
        for (const std::wstring& insert : record.inserts) {
            inserts.push_back(reinterpret_cast<DWORD_PTR>(insert.c_str()));
        }
        wchar_t* message = nullptr;
        const DWORD length =
            FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                               FORMAT_MESSAGE_ARGUMENT_ARRAY,
                           module, record.id, 0, reinterpret_cast<wchar_t*>(&message), 0,
                           reinterpret_cast<va_list*>(inserts.data()));
        ASSERT_NE(length, 0u) << "no text for id " << record.id;
        EXPECT_EQ(FromWide(std::wstring_view(message, length), CP_UTF8), c.shown + "\r\n");
        LocalFree(message);
    }
    FreeLibrary(module);
    // The ids administrators filter on: 1 to 7, one each.
    EXPECT_EQ(ids, (std::vector<unsigned long>{1, 2, 3, 4, 5, 6, 7}));
}

// Started, the service monitors as tolvanectl monitor does: W3SVC stopped by hand comes back
// through the restart sequence. A stop asked for while a restart runs waits for it, reported
// as STOP_PENDING with a checkpoint that grows; beside the service the window says so in a box.
TEST_F(ServiceTest, TheServiceRestartsW3svcAndAStopWaitsForTheRestartUnderWay) {
    // Wine gives the NetBIOS form of the host name; where that does not resolve the probe can
    // see no service at all.
    if (!ResolveIPv4(GetComputerName())) {
        GTEST_SKIP() << "the computer name " << GetComputerName() << " does not resolve here";
    }
    // Each start of W3SVC, the restart's among them, takes four seconds.
    ASSERT_NO_FATAL_FAILURE(CreateW3svc(4000));
    ASSERT_EQ(Ctl("service install"), 0) << Output();
    ASSERT_EQ(Ctl("service start"), 0) << Output();
    EXPECT_EQ(Output().rfind("IISTolvane: RUNNING (process ", 0), 0u) << Output();
    EXPECT_EQ(Ctl("service status"), 0);
    EXPECT_EQ(Output().rfind("IISTolvane: RUNNING (process ", 0), 0u) << Output();
    const ScHandle service = OpenTolvaneService(SERVICE_QUERY_STATUS);
    ASSERT_TRUE(service);
    const DWORD pid = StatusOf(service.get()).dwProcessId;

    // Beside it: the window's box names the service and the window ends with 3; tolvanectl
    // monitor is refused; set says when the service takes the change.
    ChildProcess window;
    ASSERT_TRUE(window.Start(test::WindowsPath(std::string(TOLVANE_BIN_DIR) + "/tolvane.exe")));
    HWND box = nullptr;
    ASSERT_TRUE(
        test::WaitUntil([&] { return (box = test::MessageBoxOf(window.Pid())) != nullptr; }, 60s))
        << "waited for the message box";
    EXPECT_EQ(test::TextOf(GetDlgItem(box, 0xFFFF)), MonitoredByService(pid));
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_EQ(window.Wait().exitCode, 3);
    EXPECT_EQ(Ctl("monitor"), 3);
    EXPECT_NE(Output().find("the service IISTolvane (process " + std::to_string(pid) + ")"),
              std::string::npos)
        << Output();
    EXPECT_EQ(Ctl("set Interval=1"), 0);
    EXPECT_NE(Output().find("stored; the service IISTolvane (process " + std::to_string(pid) +
                            ") takes the change at its next check"),
              std::string::npos)
        << Output();

    ASSERT_EQ(Run("net.exe stop w3svc"), 0) << Output();
    const std::string starting = "World Wide Web Publishing Service を開始中...";
    ASSERT_TRUE(
        test::WaitUntil([&] { return LogText().find(starting) != std::string::npos; }, 120s))
        << LogText();
    // W3SVC is starting, for four seconds: the stop waits for the restart to end.
    ChildProcess stop;
    ASSERT_TRUE(stop.Start(tolvanectl_ + " service stop"));
    std::vector<SERVICE_STATUS_PROCESS> seen;
    while (stop.Poll().running) {
        seen.push_back(StatusOf(service.get()));
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(stop.Wait().exitCode, 0);
    const std::string log = LogText();
    EXPECT_TRUE(log.ends_with("IISを再起動しました\r\n")) << log;
    EXPECT_TRUE(PortAnswers(port_)) << "the restart brought W3SVC back before the service ended";
    EXPECT_EQ(StatusOf(service.get()).dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(StatusOf(service.get()).dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));

    std::vector<DWORD> checkpoints;
    for (const SERVICE_STATUS_PROCESS& status : seen) {
        if (status.dwCurrentState == SERVICE_STOP_PENDING) {
            checkpoints.push_back(status.dwCheckPoint);
            EXPECT_GT(status.dwWaitHint, 0u);
        }
    }
    ASSERT_FALSE(checkpoints.empty()) << "STOP_PENDING was never seen";
    EXPECT_TRUE(std::is_sorted(checkpoints.begin(), checkpoints.end()));
    EXPECT_GT(checkpoints.back(), checkpoints.front())
        << "the checkpoint grows while the restart runs";
}

// Settings it cannot monitor with stop the service with tolvanectl's refusal as its own code.
TEST_F(ServiceTest, RefusedSettingsStopTheServiceWithItsOwnCode) {
    test::WriteSettingValue(L"Interval", REG_DWORD, std::string("\0\0\0\0", 4));
    ASSERT_EQ(Ctl("service install"), 0) << Output();
    EXPECT_EQ(Ctl("service start"), 1);
    EXPECT_EQ(Output().rfind("IISTolvane: STOPPED (tolvanectl's exit code 2: the settings were "
                             "refused; see the Application log)",
                             0),
              0u)
        << Output();
    const ScHandle service = OpenTolvaneService(SERVICE_QUERY_STATUS);
    ASSERT_TRUE(service);
    const SERVICE_STATUS_PROCESS status = StatusOf(service.get());
    EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(status.dwServiceSpecificExitCode, 2u);
}

}  // namespace
}  // namespace tolvane
