#pragma once

#include "monitor/MonitorCycle.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "ui/model/WindowSave.h"

namespace tolvane {

// What the main window's commands reach in a view beyond the cycle and the store.
class WindowCommandView : public WindowSaveView {
public:
    virtual void HideWindow() = 0;
    virtual void ShowWindow() = 0;
    virtual void OpenAbout() = 0;
    virtual void OpenMailSettings() = 0;
    virtual void Exit() = 0;
};

// Carries out a command of the main window by its id (buttons, menus, the icon control); the
// caller has checked its enabling rule. An id that is no command does nothing.
void CarryOutCommand(int id, WindowCommandView& view, MonitorCycle& cycle, SettingsStore& store,
                     Settings& shown);

}  // namespace tolvane
