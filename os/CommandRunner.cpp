#include "os/CommandRunner.h"

#include <chrono>

#include "os/Process.h"

namespace tolvane {

CommandOutcome CommandRunner::Run(const std::string& commandLine, RepaintTarget* window,
                                  Clock& clock) {
    const auto start = std::chrono::steady_clock::now();
    ChildProcess child;
    // The monitor alone decides when it ends: a Ctrl-C must not cut a "net stop" in half.
    child.UseOwnProcessGroup();
    if (!child.Start(commandLine)) {
        return {};
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
    CommandOutcome outcome;
    if (state.readable) {
        outcome = CommandOutcome::ExitedWith(state.exitCode);
    }
    outcome.durationMs =
        static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                       std::chrono::steady_clock::now() - start)
                                       .count());
    return outcome;
}

}  // namespace tolvane
