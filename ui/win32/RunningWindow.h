#pragma once

namespace tolvane {

// A later copy's side on Windows: finds the running copy's main window by its caption, shows it
// and brings it to the top. False when there is none (the running copy is closing, or it is
// the headless monitor).
bool ShowRunningWindow();

}  // namespace tolvane
