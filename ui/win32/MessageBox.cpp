#include "ui/win32/MessageBox.h"

#include "platform/Win32Text.h"

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

void SetMessageBoxAnswer(MessageBoxAnswer answer) {
    Answer() = std::move(answer);
}

}  // namespace tolvane
