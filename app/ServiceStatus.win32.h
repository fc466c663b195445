#pragma once

#include <windows.h>

namespace tolvane {

// The status of `tolvanectl service run` as the service control manager sees it. The service's
// main function attaches the handle it registered; the monitor's ServiceNotifier then reports
// through it: RUNNING once ready, STOP_PENDING with a growing checkpoint while a stop waits for
// the cycle.

constexpr wchar_t kServiceName[] = L"IISTolvane";

void AttachServiceStatus(SERVICE_STATUS_HANDLE handle);
// START_PENDING, with the time the settings and the marker may take.
void ReportServiceStarting();
// The manager asked to stop (STOP or SHUTDOWN): STOP_PENDING, and the monitor's wait ends.
void ServiceStopRequested();
// STOPPED: 0 as NO_ERROR, any other exit code of tolvanectl as the service's own code.
void ReportServiceStopped(int exitCode);

}  // namespace tolvane
