#include "ui/win32/MessageBox.h"

#include "os/Win32Text.h"
#include "ui/model/UiTexts.h"

namespace tolvane {

namespace {

MessageBoxAnswer& Answer() {
    static MessageBoxAnswer answer;
    return answer;
}

}  // namespace

int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                   unsigned flags) {
    if (Answer()) {
        return Answer()(MessageBoxCall{owner, text, caption, flags, GetFocus()});
    }
    return MessageBoxW(owner, ToWide(text).c_str(), ToWide(caption).c_str(), flags);
}

void ShowProgramMessage(HWND owner, bool information, const std::string& text) {
    ShowMessageBox(owner, text, Text(UiText::WindowTitle),
                   MB_OK | (information ? MB_ICONINFORMATION : MB_ICONEXCLAMATION));
}

void SetMessageBoxAnswer(MessageBoxAnswer answer) {
    Answer() = std::move(answer);
}

}  // namespace tolvane
