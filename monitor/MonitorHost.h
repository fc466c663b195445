#pragma once

#include <cstdint>

#include "os/CommandRunner.h"

namespace tolvane {

enum TimerId : int { CheckTimer = 1, AutoStartTimer = 3, AutoHideTimer = 4 };

// What the cycle needs of whatever hosts it, window or not. The main window's model and
// tolvanectl implement it; the cycle itself knows no toolkit.
class MonitorHost : public RepaintTarget {
public:
    // Copies the controls into the settings, with validation; false when the reading was refused
    // (the host has then told the user why).
    virtual bool ReadControls() = 0;
    // Shows the cycle's StatusText (and the other members) at once, before the caller goes on.
    virtual void ShowStatus() = 0;
    // One-shot timers by id; arming an armed timer re-arms it. Expiries call
    // MonitorCycle::OnTimer on the host's thread, one handler at a time.
    virtual void ArmTimer(int id, std::uint32_t ms) = 0;
    virtual void KillTimer(int id) = 0;
};

// What the cycle tells the window that shows it; a host without a window has none.
class MonitorWindow {
public:
    virtual ~MonitorWindow() = default;
    // Applies the enabling rules to the controls after the cycle's state changed.
    virtual void RefreshControls() = 0;
    virtual void FocusWindow() = 0;
    virtual void HideWindow() = 0;
};

}  // namespace tolvane
