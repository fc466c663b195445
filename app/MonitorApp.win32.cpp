#include "app/MonitorApp.h"

#include "mail/SendNotificationMail.h"
#include "monitor/RestartLog.h"
#include "os/InstanceMarker.h"
#include "os/Win32Text.h"
#include "registry/Registry.h"
#include "ui/model/CommandId.h"
#include "ui/model/UiTexts.h"
#include "ui/win32/MonitorDialog.h"

// <winsock2.h> goes before <windows.h>.
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include "ui/win32/MessageBox.h"
#include "ui/win32/RunningWindow.h"
#include "ui/win32/WindowText.h"

namespace tolvane {

namespace {

// A later copy that found the headless monitor running: there is no window to bring back.
constexpr int kExitMonitoredElsewhere = 3;

}  // namespace

// A later copy: the running one's window is found by its title, shown and brought to the
// top. Without such a window (it is closing) the later copy just ends. Where the holder is
// `tolvanectl monitor`, which has no window, a message box says so.
int MonitorApp::Second(const std::string& markerName) {
    const InstanceMarker::Holder holder = InstanceMarker::FindHolder(markerName);
    if (holder.program == InstanceMarker::Program::Tolvanectl) {
        ShowMessageBox(nullptr, MonitoredByTolvanectl(holder.pid), Text(UiText::WindowTitle),
                       MB_OK | MB_ICONEXCLAMATION);
        return kExitMonitoredElsewhere;
    }
    // Nothing to wait for: the window is raised from here.
    ShowRunningWindow();
    return 0;
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
        const int length = LoadStringW(GetModuleHandleW(nullptr), ID_SOCKETS_FAILED_TEXT, text, 128);
        ShowMessageBox(nullptr, FromWide(std::wstring_view(text, static_cast<std::size_t>(length))),
                       ApplicationName(), MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    RegistryHive classesRoot(RegistryHive::ClassesRootPath());
    RestartLog log(RealClock());
    CycleParts parts;
    parts.log = &log;
    parts.sendMail = SendNotificationMail;
    {
        MonitorDialog dialog(classesRoot, parts);
        dialog.RunModal();
    }
    WSACleanup();
    return 0;
}

}  // namespace tolvane
