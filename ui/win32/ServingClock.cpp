#include "ui/win32/ServingClock.h"

#include <windows.h>

#include <algorithm>

namespace tolvane {

namespace {

bool IsDialog(HWND window) {
    wchar_t name[8] = {};
    return GetClassNameW(window, name, 8) > 0 && lstrcmpW(name, L"#32770") == 0;
}

}  // namespace

void DispatchAsDialogLoop(const void* message) {
    const MSG* msg = static_cast<const MSG*>(message);
    HWND root = msg->hwnd != nullptr ? GetAncestor(msg->hwnd, GA_ROOT) : nullptr;
    if (root != nullptr && IsDialog(root) && IsDialogMessageW(root, const_cast<MSG*>(msg))) {
        return;
    }
    TranslateMessage(msg);
    DispatchMessageW(msg);
}

void ServingClock::Pause(std::uint32_t ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // For the loop that waits for it, once this pause is over.
                PostQuitMessage(static_cast<int>(message.wParam));
                Sleep(static_cast<DWORD>(end - std::min(end, GetTickCount64())));
                return;
            }
            DispatchAsDialogLoop(&message);
        }
    }
}

std::time_t ServingClock::Now() {
    return std::time(nullptr);
}

}  // namespace tolvane
