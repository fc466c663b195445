#include "app/ServiceNotifier.h"

#include <mutex>

#include "app/ServiceStatus.win32.h"
#include "os/StopRequest.win32.h"

namespace tolvane {

namespace {

// STOP_PENDING: the next checkpoint comes with a keep-alive, at least once a second while a
// command runs; a restart's mail may hold it up to its whole dialogue's bound (120 s).
constexpr DWORD kStopWaitHintMs = 130000;
constexpr DWORD kStartWaitHintMs = 10000;
constexpr auto kCheckpointEvery = std::chrono::seconds(1);

std::mutex statusLock;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0, NO_ERROR, 0, 0, 0};
std::chrono::steady_clock::time_point lastCheckpoint;

// Holding the lock.
void Report(DWORD state, DWORD waitHintMs) {
    status.dwCurrentState = state;
    status.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    status.dwCheckPoint = pending ? status.dwCheckPoint + 1 : 0;
    status.dwWaitHint = pending ? waitHintMs : 0;
    lastCheckpoint = std::chrono::steady_clock::now();
    if (statusHandle != nullptr) {
        SetServiceStatus(statusHandle, &status);
    }
}

}  // namespace

void AttachServiceStatus(SERVICE_STATUS_HANDLE handle) {
    const std::lock_guard lock(statusLock);
    statusHandle = handle;
    TakeStopRequestsFromServiceManager();
}

void ReportServiceStarting() {
    const std::lock_guard lock(statusLock);
    Report(SERVICE_START_PENDING, kStartWaitHintMs);
}

void ServiceStopRequested() {
    const std::lock_guard lock(statusLock);
    if (status.dwCurrentState == SERVICE_RUNNING) {
        Report(SERVICE_STOP_PENDING, kStopWaitHintMs);
        RequestStop();
    }
}

void ReportServiceStopped(int exitCode) {
    const std::lock_guard lock(statusLock);
    status.dwWin32ExitCode = exitCode == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = static_cast<DWORD>(exitCode);
    Report(SERVICE_STOPPED, 0);
}

// As a console program tolvanectl.exe has no manager to tell; as the service it tells the
// service control manager, whose protocol has no status texts.
ServiceNotifier::ServiceNotifier() = default;
ServiceNotifier::~ServiceNotifier() = default;

void ServiceNotifier::Ready() {
    const std::lock_guard lock(statusLock);
    if (statusHandle != nullptr) {
        Report(SERVICE_RUNNING, 0);
    }
}

void ServiceNotifier::Status(const std::string&) {}

void ServiceNotifier::Stopping() {
    const std::lock_guard lock(statusLock);
    if (status.dwCurrentState == SERVICE_STOP_PENDING) {
        Report(SERVICE_STOP_PENDING, kStopWaitHintMs);
    }
}

// While a stop waits for the cycle, each keep-alive moves the checkpoint on, once a second at
// most, so the manager sees the restart under way progress.
void ServiceNotifier::KeepAliveIfDue() {
    const std::lock_guard lock(statusLock);
    if (status.dwCurrentState == SERVICE_STOP_PENDING &&
        std::chrono::steady_clock::now() - lastCheckpoint >= kCheckpointEvery) {
        Report(SERVICE_STOP_PENDING, kStopWaitHintMs);
    }
}

std::optional<ServiceNotifier::TimePoint> ServiceNotifier::NextKeepAlive() const {
    return std::nullopt;
}

void ServiceNotifier::Send(const std::string&) {}

}  // namespace tolvane
