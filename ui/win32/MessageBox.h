#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace tolvane {

// Every message box of the windows goes through here, so tests can answer it instead of a
// person. Texts are CP932.
struct MessageBoxCall {
    HWND owner = nullptr;
    std::string text;
    std::string caption;
    unsigned flags = 0;
    HWND focusBefore = nullptr;  // where the keyboard focus was when the box was asked for
};
using MessageBoxAnswer = std::function<int(const MessageBoxCall&)>;

int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, unsigned flags);

// The program's own box: caption "IIS Tolvane", information or exclamation icon.
void ShowProgramMessage(HWND owner, bool information, const std::string& text);

// Tests: every box is given to `answer` and not shown; an empty function shows them again.
void SetMessageBoxAnswer(MessageBoxAnswer answer);

}  // namespace tolvane
