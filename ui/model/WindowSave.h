#pragma once

#include "settings/Settings.h"
#include "settings/SettingsStore.h"

namespace tolvane {

// The main window's Save: the six values the window shows are taken from `shown`, the other
// eight from the store as it is now, so that a change made beside the window (tolvanectl set)
// is not undone. 1 when stored, and `shown` becomes the stored record; 0 when not, with the
// reason in the store's LastError and `shown` left as it is.
int SaveWindowValues(SettingsStore& store, Settings& shown);

}  // namespace tolvane
