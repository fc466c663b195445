#include "ui/win32/NumberField.h"

#include "ui/win32/MessageBox.h"
#include "ui/win32/WindowText.h"

namespace tolvane {

bool ReadNumberField(HWND dialog, int id, const NumberRule& rule, std::uint32_t& member) {
    const NumberReading reading = ReadNumber(ItemTextCp932(dialog, id), rule);
    if (reading.isNumber) {
        member = reading.value;
    }
    if (!reading.accepted) {
        ShowMessageBox(dialog, reading.message, ApplicationName(), MB_OK | MB_ICONEXCLAMATION);
        FocusControl(dialog, GetDlgItem(dialog, id));
    }
    return reading.accepted;
}

void FocusControl(HWND dialog, HWND control) {
    // WM_NEXTDLGCTL also moves the default button and selects an edit's whole text.
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

}  // namespace tolvane
