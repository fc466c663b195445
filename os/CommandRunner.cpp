#include "os/CommandRunner.h"

#include <chrono>

#include "os/Process.h"

namespace tolvane {

CommandOutcome CommandRunner::Run(const std::string& commandLine, RepaintTarget* window,
                                  Clock& clock, std::uint32_t boundMs) {
    const auto start = std::chrono::steady_clock::now();
    ChildProcess child;
    // The monitor alone decides when it ends: a Ctrl-C must not cut a "net stop" in half.
    child.UseOwnProcessGroup();
    switch (child.StartSystemCommand(commandLine)) {
        case SystemStart::Started:
            break;
        case SystemStart::NotStarted:
            return {};
        case SystemStart::NotInSystemFolder:
            return {CommandEnd::Skipped, 0, 0};
    }
    ExitState state;
    CommandOutcome outcome;
    do {
        // The state is read before the pause, so even a quick child costs one full second.
        state = child.Poll();
        if (state.running && MillisecondsSince(start) >= boundMs) {
            child.EndGroup();
            outcome.end = CommandEnd::EndedAtBound;
            outcome.durationMs = MillisecondsSince(start);
            return outcome;
        }
        clock.Pause(1000);
        if (window != nullptr) {
            window->Repaint();
        }
    } while (state.running && state.readable);
    if (state.readable) {
        outcome = CommandOutcome::ExitedWith(state.exitCode);
    }
    outcome.durationMs = MillisecondsSince(start);
    return outcome;
}

}  // namespace tolvane
