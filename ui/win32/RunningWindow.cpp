#include "ui/win32/RunningWindow.h"

#include <windows.h>

#include "ui/model/CommandId.h"
#include "ui/win32/MonitorDialog.h"

namespace tolvane {

namespace {

// The main window's caption, as its template gives it.
constexpr wchar_t kMainWindowTitle[] = L"IIS Tolvane";

struct Search {
    DWORD pid;
    HWND found;
};

// Reads only what the system keeps of the window: no message goes to its thread.
bool IsMainWindow(HWND window, DWORD pid) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[8] = {};
    wchar_t title[16] = {};
    return (pid == 0 || owner == pid) && GetWindow(window, GW_OWNER) == nullptr &&
           GetClassNameW(window, className, 8) > 0 && lstrcmpW(className, L"#32770") == 0 &&
           InternalGetWindowText(window, title, 16) > 0 && lstrcmpW(title, kMainWindowTitle) == 0 &&
           GetDlgItem(window, StatusLine) != nullptr;
}

}  // namespace

bool ShowRunningWindow(long holderPid) {
    Search search{static_cast<DWORD>(holderPid), nullptr};
    EnumWindows(
        [](HWND window, LPARAM lParam) {
            auto* s = reinterpret_cast<Search*>(lParam);
            if (IsMainWindow(window, s->pid)) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) {
        return false;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(search.found, &pid);
    // This copy was started by the user and may pass the foreground on.
    AllowSetForegroundWindow(pid);
    return PostMessageW(search.found, MonitorDialog::ShowRequestMessage(), 0, 0) != FALSE;
}

}  // namespace tolvane
