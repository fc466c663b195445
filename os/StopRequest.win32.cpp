#include "os/StopRequest.h"

#include <windows.h>

#include "os/StopRequest.win32.h"

namespace tolvane {

namespace {

HANDLE stopEvent = nullptr;
HANDLE endedEvent = nullptr;
bool fromServiceManager = false;

BOOL WINAPI OnConsoleEvent(DWORD type) {
    if (fromServiceManager) {
        return TRUE;
    }
    SetEvent(stopEvent);
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
        // The process ends when this returns: let the tick under way finish first, within the
        // few seconds the system grants.
        WaitForSingleObject(endedEvent, 4500);
    }
    return TRUE;
}

}  // namespace

void HoldStopRequests() {
    if (stopEvent == nullptr) {
        stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        endedEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    }
}

bool WaitForStopRequest(std::optional<std::chrono::nanoseconds> timeout) {
    DWORD ms = INFINITE;
    if (timeout) {
        const auto rounded = std::chrono::ceil<std::chrono::milliseconds>(*timeout).count();
        ms = rounded < 0 ? 0 : rounded >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(rounded);
    }
    return WaitForSingleObject(stopEvent, ms) == WAIT_OBJECT_0;
}

void TakeStopRequestsFromServiceManager() {
    fromServiceManager = true;
}

void RequestStop() {
    SetEvent(stopEvent);
}

void ReleaseStopRequests() {
    SetEvent(endedEvent);
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}

}  // namespace tolvane
