#pragma once

#include <windows.h>

#include <cstdint>

#include "settings/NumberRule.h"

namespace tolvane {

// Reads a number field of a dialog into `member` by its rule. A refusal shows its message
// (exclamation, the application's name as caption), then gives the field the focus with its
// whole text selected; a number outside the range is still kept in `member`.
bool ReadNumberField(HWND dialog, int id, const NumberRule& rule, std::uint32_t& member);

// Gives a control the focus as the dialog manager does, selecting the whole text of an edit.
void FocusControl(HWND dialog, HWND control);

}  // namespace tolvane
