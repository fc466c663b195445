#pragma once

#include <windows.h>

namespace tolvane {

// The About box from template 100: the program's icon, name and version, and OK.
class AboutDialog {
public:
    // Runs the box modally, owned by `owner`; OK, Esc and the close box end it.
    static void Show(HWND owner);
};

}  // namespace tolvane
