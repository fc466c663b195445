#pragma once

#include <cstdint>
#include <string>

#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "ui/model/MessageView.h"

namespace tolvane {

// The main window's Save: the six values the window shows are taken from `shown`, the other
// eight from the store as it is now, so that a change made beside the window (tolvanectl set)
// is not undone. 1 when stored, and `shown` becomes the stored record; 0 when not, with the
// reason in the store's LastError and `shown` left as it is.
int SaveWindowValues(SettingsStore& store, Settings& shown);

// What the main window's storing commands (Save, the start-up mode) need of the window.
class WindowSaveView : public MessageView {
public:
    // Reads the fields into the record; false when one was refused (the user has been told and
    // the field has the focus).
    virtual bool ReadControls() = 0;
    // The start-up mode's menu checks follow the record's AutoStartupMode.
    virtual void CheckStartupMode() = 0;
    virtual void HideSaveButton() = 0;
};

// What the main window says once, in its status line, after loading the settings: the values
// it could not read, by name, and why the settings cannot be saved. Empty when all is well.
std::string LoadNote(const LoadReport& report);

// Save: the fields are read and stored; a refused store says why and the Save button stays;
// a stored record gives its start-up mode to the menu checks, is confirmed, and the Save
// button goes.
void SaveFromWindow(WindowSaveView& view, SettingsStore& store, Settings& shown);
// The start-up mode menu: the record and the checks take the mode, which is stored at once.
void ChangeStartupMode(WindowSaveView& view, SettingsStore& store, Settings& shown,
                       std::uint32_t automatic);

}  // namespace tolvane
