#pragma once

#include <string>

// Kept free of <windows.h>, which its users need not see.
struct HWND__;
typedef HWND__* HWND;

namespace tolvane {

// The notification-area icon of the main window: added when the window opens, removed before
// it goes; it reports mouse activity to its owner with the callback message.
class TrayIcon {
public:
    // Registers the icon (id 1) with its tip, cut to 63 bytes. False when the shell refused.
    // The shell keeps its own copy of the image: the handle passed in is destroyed either way.
    bool Add(HWND owner, unsigned callbackMessage, void* icon, const std::string& tipCp932);
    void Remove();
    bool Shown() const { return owner_ != nullptr; }
    // The shell took the icon at the last Add.
    bool Added() const { return added_; }

private:
    HWND owner_ = nullptr;
    bool added_ = false;
};

}  // namespace tolvane
