#include "os/CommandRunner.h"

#include "os/Process.h"

namespace tolvane {

bool CommandRunner::Run(const std::string& commandLine, RepaintTarget* window, Clock& clock) {
    ChildProcess child;
    // The monitor alone decides when it ends: a Ctrl-C must not cut a "net stop" in half.
    child.UseOwnProcessGroup();
    if (!child.Start(commandLine)) {
        return false;
    }
    ExitState state;
    do {
        // The state is read before the pause, so even a quick child costs one full second.
        state = child.Poll();
        clock.Pause(1000);
        if (window != nullptr) {
            window->Repaint();
        }
    } while (state.running && state.readable);
    return state.readable && state.exitCode == 0;
}

}  // namespace tolvane
