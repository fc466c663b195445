#include "app/MonitorApp.h"

#include "mail/SendNotificationMail.h"
#include "monitor/RestartLog.h"
#include "os/InstanceMarker.h"
#include "os/ServiceRights.win32.h"
#include "os/Win32Text.h"
#include "registry/Registry.h"
#include "ui/model/CommandId.h"
#include "ui/model/StartRights.h"
#include "ui/model/UiTexts.h"
#include "ui/win32/MonitorDialog.h"

// <winsock2.h> goes before <windows.h>.
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include "ui/win32/MessageBox.h"
#include "ui/win32/RunningWindow.h"
#include "ui/win32/ServingClock.h"
#include "ui/win32/WindowText.h"

namespace tolvane {

namespace {

// A later copy that found the headless monitor running: there is no window to bring back.
constexpr int kExitMonitoredElsewhere = 3;

}  // namespace

// A later copy: the running one's own window is asked to show itself, restored and in front,
// without waiting for it. Without such a window in this session the later copy ends quietly
// when the holder is closing; a holder in another session (a window on another desktop, or
// `tolvanectl monitor` or the service anywhere) has nothing to bring back here, and a box
// names it.
int MonitorApp::Second(const std::string& markerName) {
    const InstanceMarker::Holder holder = InstanceMarker::FindHolder(markerName);
    const bool headless = holder.program == InstanceMarker::Program::Tolvanectl ||
                          holder.program == InstanceMarker::Program::Service;
    if (!headless && ShowRunningWindow(holder.pid)) {
        return 0;
    }
    DWORD holderSession = 0;
    DWORD ownSession = 0;
    const bool elsewhere =
        headless ||
        (holder.program == InstanceMarker::Program::Window &&
         ProcessIdToSessionId(static_cast<DWORD>(holder.pid), &holderSession) &&
         ProcessIdToSessionId(GetCurrentProcessId(), &ownSession) && holderSession != ownSession);
    if (!elsewhere) {
        return 0;
    }
    const std::string text = holder.program == InstanceMarker::Program::Tolvanectl
                                 ? MonitoredByTolvanectl(holder.pid)
                             : holder.program == InstanceMarker::Program::Service
                                 ? MonitoredByService(holder.pid)
                                 : MonitoredByWindowElsewhere(holder.pid);
    ShowMessageBox(nullptr, text, Text(UiText::WindowTitle), MB_OK | MB_ICONEXCLAMATION);
    return kExitMonitoredElsewhere;
}

int MonitorApp::Run() {
    const std::string markerName = InstanceMarker::ProgramName();
    InstanceMarker marker(markerName);
    if (marker.State() == InstanceMarker::Claim::HeldByOther) {
        return Second(markerName);
    }
    marker.Announce(InstanceMarker::Program::Window);
    WSADATA data;
    if (WSAStartup(0x0101, &data) != 0 || data.wVersion != 0x0101) {
        wchar_t text[128];
        const int length =
            LoadStringW(GetModuleHandleW(nullptr), ID_SOCKETS_FAILED_TEXT, text, 128);
        ShowMessageBox(nullptr, FromWide(std::wstring_view(text, static_cast<std::size_t>(length))),
                       ApplicationName(), MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    RegistryHive classesRoot(RegistryHive::ClassesRootPath());
    RestartLog log(RealClock());
    // The mail's waits serve the window as the cycle's do.
    ServingClock clock;
    CycleParts parts;
    parts.clock = &clock;
    parts.log = &log;
    parts.sendMail = NotificationMailOn(clock);
    {
        MonitorDialog dialog(classesRoot, parts);
        // Run without the rights its work needs, the window says so rather than monitor what
        // it cannot restart.
        dialog.SetStartNote([](const Settings& record, const LoadReport& load) {
            auto denied = [](const std::string& name) {
                return StartStopAccess(name) == ServiceAccess::Denied;
            };
            return MissingRightsNote(UncontrollableServices(record, denied), load);
        });
        log.SetLossReport([&dialog](const std::string& report) { dialog.ShowStatusNote(report); });
        dialog.RunModal();
    }
    WSACleanup();
    return 0;
}

}  // namespace tolvane
