#include "ui/win32/AboutDialog.h"

#include <array>
#include <optional>

#include "ui/model/CommandId.h"
#include "ui/model/UiTexts.h"
#include "ui/win32/WindowText.h"

namespace tolvane {

namespace {

constexpr int kTemplate = ID_ABOUT_DIALOG;
constexpr int kIcon = ID_PROGRAM_ICON;
constexpr std::array<std::optional<UiText>, 3> kControlTexts{std::nullopt, UiText::AboutVersion,
                                                             UiText::AboutOk};

INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            SetTextCp932(window, Text(UiText::AboutCaption));
            SetChildTexts(window, kControlTexts);
            HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIcon));
            SendMessageW(GetWindow(window, GW_CHILD), STM_SETICON, reinterpret_cast<WPARAM>(icon),
                         0);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(window, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

void AboutDialog::Show(HWND owner) {
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kTemplate), owner, Procedure, 0);
}

}  // namespace tolvane
