#include "ui/win32/RunningWindow.h"

#include <windows.h>

namespace tolvane {

namespace {

// The main window's caption, as its template gives it.
constexpr wchar_t kMainWindowTitle[] = L"IIS Tolvane";

}  // namespace

bool ShowRunningWindow() {
    HWND window = FindWindowW(nullptr, kMainWindowTitle);
    if (window == nullptr) {
        return false;
    }
    ShowWindow(window, SW_SHOW);
    BringWindowToTop(window);
    return true;
}

}  // namespace tolvane
