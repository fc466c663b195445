#include "app/ServiceCommand.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <thread>

#include "app/EventLog.win32.h"
#include "app/ServiceStatus.win32.h"
#include "os/Console.h"
#include "os/Win32Text.h"

namespace tolvane {

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitRefused = 2;
constexpr int kExitMonitoredElsewhere = 3;

constexpr wchar_t kDisplayName[] = L"IIS Tolvane";
constexpr wchar_t kDescription[] =
    L"このコンピューターの Web サーバーが設定のポートで応答するかを監視し、応答しないときは "
    L"IIS のサービスを再起動して TOLVREBOOT.LOG とイベント ログに記録します。";

// Windows' own recovery for the service process itself: restarted after a minute, twice; the
// count starts again after a day without a failure.
constexpr DWORD kRecoveryDelayMs = 60 * 1000;
constexpr DWORD kRecoveryResetSeconds = 24 * 60 * 60;

// Waiting for a state: as long as the service moves its checkpoint within its wait hint, and
// never past this bound.
constexpr auto kStateBound = std::chrono::minutes(15);

class ScHandle {
public:
    explicit ScHandle(SC_HANDLE handle = nullptr) : handle_(handle) {}
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    ~ScHandle() { Reset(nullptr); }
    void Reset(SC_HANDLE handle) {
        if (handle_ != nullptr) {
            CloseServiceHandle(handle_);
        }
        handle_ = handle;
    }
    explicit operator bool() const { return handle_ != nullptr; }
    SC_HANDLE get() const { return handle_; }

private:
    SC_HANDLE handle_;
};

void Say(const std::string& line) {
    WriteText(stderr, "tolvanectl: " + line + "\n");
}

// A failed call, with the fix where the rights were missing: the access asked of the manager
// tells, never a guess from group membership.
int Failed(const std::string& what, DWORD error) {
    if (error == ERROR_ACCESS_DENIED) {
        Say(what +
            " needs an administrator: run it from a command prompt opened with \"Run as "
            "administrator\"");
        return kExitRefused;
    }
    if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
        Say("the service IISTolvane is not installed (tolvanectl service install)");
        return kExitFailed;
    }
    Say(what + " failed (error " + std::to_string(error) + ")");
    return kExitFailed;
}

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// The manager and the service with the access the command needs; empty handles after a
// message.
struct Opened {
    ScHandle manager;
    ScHandle service;
    int exitCode = 0;
};

void Open(Opened& opened, const std::string& what, DWORD serviceAccess) {
    opened.manager.Reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!opened.manager) {
        opened.exitCode = Failed(what, GetLastError());
        return;
    }
    opened.service.Reset(OpenServiceW(opened.manager.get(), kServiceName, serviceAccess));
    if (!opened.service) {
        opened.exitCode = Failed(what, GetLastError());
    }
}

bool Query(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
    DWORD needed = 0;
    return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                sizeof status, &needed) != 0;
}

// Waits while the service is in `pending`, as long as its checkpoint moves within its wait
// hint; the state it came to.
SERVICE_STATUS_PROCESS WaitWhile(SC_HANDLE service, DWORD pending) {
    SERVICE_STATUS_PROCESS status{};
    if (!Query(service, status)) {
        return status;
    }
    const auto giveUp = std::chrono::steady_clock::now() + kStateBound;
    DWORD checkpoint = status.dwCheckPoint;
    auto moved = std::chrono::steady_clock::now();
    while (status.dwCurrentState == pending && std::chrono::steady_clock::now() < giveUp) {
        // A tenth of the hint, between a quarter of a second and two seconds, as the manager's
        // own tools poll.
        const DWORD pause = std::clamp<DWORD>(status.dwWaitHint / 10, 250, 2000);
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        if (!Query(service, status)) {
            break;
        }
        if (status.dwCheckPoint != checkpoint) {
            checkpoint = status.dwCheckPoint;
            moved = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - moved >
                   std::chrono::milliseconds(std::max<DWORD>(status.dwWaitHint, 30000))) {
            break;
        }
    }
    return status;
}

std::string StateName(DWORD state) {
    switch (state) {
        case SERVICE_STOPPED:
            return "STOPPED";
        case SERVICE_START_PENDING:
            return "START_PENDING";
        case SERVICE_STOP_PENDING:
            return "STOP_PENDING";
        case SERVICE_RUNNING:
            return "RUNNING";
        case SERVICE_CONTINUE_PENDING:
            return "CONTINUE_PENDING";
        case SERVICE_PAUSE_PENDING:
            return "PAUSE_PENDING";
        case SERVICE_PAUSED:
            return "PAUSED";
    }
    return "state " + std::to_string(state);
}

// "RUNNING (process 1234)", "STOPPED (tolvanectl's exit code 2)", "STOP_PENDING (checkpoint
// 3, wait hint 130000 ms)".
std::string StatusLine(const SERVICE_STATUS_PROCESS& status) {
    std::string line = "IISTolvane: " + StateName(status.dwCurrentState);
    if (status.dwCurrentState == SERVICE_STOPPED) {
        if (status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR) {
            line += " (tolvanectl's exit code " + std::to_string(status.dwServiceSpecificExitCode) +
                    (status.dwServiceSpecificExitCode == kExitRefused
                         ? ": the settings were refused; see the Application log)"
                     : status.dwServiceSpecificExitCode == kExitMonitoredElsewhere
                         ? ": another copy already monitors this machine)"
                         : ")");
        } else if (status.dwWin32ExitCode == ERROR_SERVICE_NEVER_STARTED) {
            line += " (not started since it was installed)";
        } else if (status.dwWin32ExitCode != NO_ERROR) {
            line += " (error " + std::to_string(status.dwWin32ExitCode) + ")";
        }
    } else if (status.dwCurrentState == SERVICE_RUNNING) {
        line += " (process " + std::to_string(status.dwProcessId) + ")";
    } else {
        line += " (checkpoint " + std::to_string(status.dwCheckPoint) + ", wait hint " +
                std::to_string(status.dwWaitHint) + " ms)";
    }
    return line + "\n";
}

int Install() {
    const ScHandle manager(
        OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
    if (!manager) {
        return Failed("service install", GetLastError());
    }
    const std::wstring program = ModulePath();
    const std::wstring commandLine = L"\"" + program + L"\" service run";
    ScHandle service(CreateServiceW(manager.get(), kServiceName, kDisplayName, SERVICE_ALL_ACCESS,
                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                    SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr, nullptr,
                                    nullptr, nullptr, nullptr));
    if (!service && GetLastError() == ERROR_SERVICE_EXISTS) {
        // Installed again, from this folder: the same service, pointed here.
        service.Reset(OpenServiceW(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
        if (service &&
            !ChangeServiceConfigW(service.get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                  SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr, nullptr,
                                  nullptr, nullptr, nullptr, kDisplayName)) {
            return Failed("changing the installed service", GetLastError());
        }
    }
    if (!service) {
        return Failed("service install", GetLastError());
    }
    int exitCode = 0;
    SERVICE_DESCRIPTIONW description{const_cast<wchar_t*>(kDescription)};
    if (!ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, &description)) {
        exitCode = Failed("setting the service's description", GetLastError());
    }
    SC_ACTION actions[] = {{SC_ACTION_RESTART, kRecoveryDelayMs},
                           {SC_ACTION_RESTART, kRecoveryDelayMs},
                           {SC_ACTION_NONE, 0}};
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = kRecoveryResetSeconds;
    failure.cActions = static_cast<DWORD>(std::size(actions));
    failure.lpsaActions = actions;
    if (!ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS, &failure)) {
        exitCode = Failed("setting the service's recovery actions", GetLastError());
    }
    std::string error;
    if (!RegisterEventLogSource(program, error)) {
        Say(error);
        exitCode = kExitFailed;
    }
    if (exitCode == 0) {
        WriteText(stdout, "IISTolvane: installed, started automatically at boot as LocalSystem: " +
                              PathFromWide(commandLine) +
                              "\nStart it now with: tolvanectl service start\n");
    }
    return exitCode;
}

int Stop(bool quietWhenStopped) {
    Opened opened;
    Open(opened, "service stop", SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (!opened.service) {
        return opened.exitCode;
    }
    SERVICE_STATUS ignored{};
    if (!ControlService(opened.service.get(), SERVICE_CONTROL_STOP, &ignored)) {
        const DWORD error = GetLastError();
        if (error != ERROR_SERVICE_NOT_ACTIVE) {
            return Failed("service stop", error);
        }
        if (!quietWhenStopped) {
            WriteText(stdout, "IISTolvane: not running\n");
        }
        return 0;
    }
    // A restart under way ends first; the service reports its progress meanwhile.
    const SERVICE_STATUS_PROCESS status = WaitWhile(opened.service.get(), SERVICE_STOP_PENDING);
    WriteText(stdout, StatusLine(status));
    return status.dwCurrentState == SERVICE_STOPPED ? 0 : kExitFailed;
}

int Uninstall() {
    Opened opened;
    Open(opened, "service uninstall", SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
    if (opened.exitCode == kExitRefused) {
        return opened.exitCode;
    }
    int exitCode = 0;
    if (opened.service) {
        Stop(true);
        if (!DeleteService(opened.service.get()) &&
            GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
            exitCode = Failed("service uninstall", GetLastError());
        }
    }
    std::string error;
    if (!UnregisterEventLogSource(error)) {
        Say(error);
        exitCode = kExitFailed;
    }
    if (exitCode == 0) {
        WriteText(stdout, "IISTolvane: uninstalled; the settings and TOLVREBOOT.LOG are kept\n");
    }
    return exitCode;
}

int Start() {
    Opened opened;
    Open(opened, "service start", SERVICE_START | SERVICE_QUERY_STATUS);
    if (!opened.service) {
        return opened.exitCode;
    }
    if (!StartServiceW(opened.service.get(), 0, nullptr) &&
        GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
        return Failed("service start", GetLastError());
    }
    const SERVICE_STATUS_PROCESS status = WaitWhile(opened.service.get(), SERVICE_START_PENDING);
    WriteText(stdout, StatusLine(status));
    return status.dwCurrentState == SERVICE_RUNNING ? 0 : kExitFailed;
}

int Status() {
    Opened opened;
    Open(opened, "service status", SERVICE_QUERY_STATUS);
    if (!opened.service) {
        return opened.exitCode;
    }
    SERVICE_STATUS_PROCESS status{};
    if (!Query(opened.service.get(), status)) {
        return Failed("service status", GetLastError());
    }
    WriteText(stdout, StatusLine(status));
    return status.dwCurrentState == SERVICE_RUNNING ? 0 : kExitFailed;
}

// What the service's main function runs: set before the dispatcher starts it.
const ServiceMonitor* runMonitor = nullptr;

DWORD WINAPI OnControl(DWORD control, DWORD, void*, void*) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            ServiceStopRequested();
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
    const SERVICE_STATUS_HANDLE handle =
        RegisterServiceCtrlHandlerExW(kServiceName, OnControl, nullptr);
    if (handle == nullptr) {
        return;
    }
    AttachServiceStatus(handle);
    ReportServiceStarting();
    ReportServiceStopped((*runMonitor)(ApplicationLogReport()));
}

int Run(const ServiceMonitor& monitor) {
    runMonitor = &monitor;
    SERVICE_TABLE_ENTRYW services[] = {{const_cast<wchar_t*>(kServiceName), ServiceMain},
                                       {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(services)) {
        if (GetLastError() == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
            Say("service run is the service's own command line, for the service control "
                "manager; in a console, use tolvanectl monitor");
            return kExitRefused;
        }
        return Failed("service run", GetLastError());
    }
    return 0;
}

}  // namespace

std::string ServiceUsage() {
    return "  service install|uninstall|start|stop|status\n"
           "                          the service IISTolvane, which monitors as `monitor` "
           "does,\n"
           "                          without anyone logged on (install and uninstall as "
           "administrator)\n";
}

int ServiceCommand(const std::vector<std::string>& args, const ServiceMonitor& monitor) {
    const std::string command = args.size() == 1 ? args[0] : "";
    if (command == "install") {
        return Install();
    }
    if (command == "uninstall") {
        return Uninstall();
    }
    if (command == "start") {
        return Start();
    }
    if (command == "stop") {
        return Stop(false);
    }
    if (command == "status") {
        return Status();
    }
    if (command == "run") {
        return Run(monitor);
    }
    WriteText(stderr, "usage: tolvanectl service install|uninstall|start|stop|status\n");
    return kExitRefused;
}

}  // namespace tolvane
