#pragma once

#include <cstdint>
#include <ctime>

#include "os/Clock.h"

namespace tolvane {

// The window's clock: a pause serves the thread's messages until its time has passed, so the
// window keeps answering (painting, the shell's and the system's questions, a later copy's
// request to show it) while the cycle waits for a command or between its steps. What the
// window may do meanwhile is the window's business: its enabling rules and its busy guard.
class ServingClock final : public Clock {
public:
    void Pause(std::uint32_t ms) override;
    std::time_t Now() override;
};

// Handles one message as a dialog's message loop does: keyboard navigation for the dialog
// the message's window belongs to, translation and dispatch otherwise.
void DispatchAsDialogLoop(const void* message);

}  // namespace tolvane
