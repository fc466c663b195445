#include "ui/win32/TrayIcon.h"

#include "os/Win32Text.h"
#include "ui/model/UiTexts.h"

// <shellapi.h> needs <windows.h> before it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

namespace tolvane {

namespace {

constexpr UINT kIconId = 1;

}  // namespace

bool TrayIcon::Add(HWND owner, unsigned callbackMessage, void* icon, const std::string& tipCp932) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = kIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = callbackMessage;
    data.hIcon = static_cast<HICON>(icon);
    // The tip is bounded as its 64-byte ANSI form is, then converted.
    const std::wstring tip = ToWide(CutCp932(tipCp932, 63));
    tip.copy(data.szTip, std::size(data.szTip) - 1);
    const bool added = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    if (data.hIcon != nullptr) {
        DestroyIcon(data.hIcon);
    }
    // Marked even when the shell refused: the removal then finds nothing, which is harmless.
    owner_ = owner;
    added_ = added;
    return added;
}

void TrayIcon::Remove() {
    if (owner_ == nullptr) {
        return;
    }
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = owner_;
    data.uID = kIconId;
    Shell_NotifyIconW(NIM_DELETE, &data);
    owner_ = nullptr;
    added_ = false;
}

}  // namespace tolvane
