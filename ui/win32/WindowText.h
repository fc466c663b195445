#pragma once

#include <windows.h>

#include <optional>
#include <span>
#include <string>

#include "ui/model/UiTexts.h"

namespace tolvane {

// The window's edge: the program's CP932 texts go to and come from the wide-character calls
// through code page 932, so Japanese shows on any system locale.
void SetTextCp932(HWND window, const std::string& cp932);
std::string TextCp932(HWND window);
void SetItemTextCp932(HWND dialog, int id, const std::string& cp932);
std::string ItemTextCp932(HWND dialog, int id);
// The field's text in CP932; false when a character has no form there (no best fit).
bool ItemTextStorable(HWND dialog, int id, std::string& cp932);

// The texts of a dialog's controls, in the template's order (none for a control without
// text); the template itself leaves them empty.
void SetChildTexts(HWND dialog, std::span<const std::optional<UiText>> texts);

// A menu item's text, by command id, or a pop-up's, by its position in `menu`.
void SetMenuText(HMENU menu, int id, UiText text);
void SetPopupText(HMENU menu, int position, UiText text);

// The executable's file name without its extension: the caption of the framework's own
// messages.
std::string ApplicationName();

}  // namespace tolvane
