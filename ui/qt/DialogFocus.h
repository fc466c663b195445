#pragma once

#include <map>

class QEvent;
class QLineEdit;
class QWidget;

namespace tolvane {

// The focus as a Windows dialog gives it: to the first enabled control in the tab order, or
// with `fieldFirst` to the first enabled edit field when there is one; an edit field gets its
// whole text selected. Never the dialog itself.
void FocusFirstControl(QWidget* dialog, bool fieldFirst = false);

// Gives `field` the focus with its whole text selected. A window that is not active yet (a
// message box has just closed and the window manager has not given the activation back) gets
// the same again once it is active, so neither the delay nor the activation loses the selection.
void FocusAndSelect(QLineEdit* field);

// An enabled control's access key goes before the menu bar's of the same letter, as in a
// Windows dialog ("隠す(&H)" and "ﾍﾙﾌﾟ(&H)"): true when `event` pressed one of `controls`.
bool HandleAccessKey(const QWidget* dialog, const std::map<int, QWidget*>& controls, QEvent* event);

}  // namespace tolvane
