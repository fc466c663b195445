#pragma once

namespace tolvane {

// A later copy's side on Windows: finds the running copy's own main window (a top-level
// dialog of the holder's process with its title and status line; never an Explorer window
// or a message box of that caption) and asks it to show itself, restored when minimised. The
// request is posted, so a running copy that is busy never holds the later copy up. False
// when there is no such window (the running copy is closing, runs in another session, or is
// the headless monitor). A holder of process id 0 is not known: any process's then.
bool ShowRunningWindow(long holderPid);

}  // namespace tolvane
