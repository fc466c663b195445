#pragma once

#include <cstdint>
#include <string>

#include "os/Clock.h"

namespace tolvane {

// A window that can be repainted at once while its thread is blocked.
class RepaintTarget {
public:
    virtual ~RepaintTarget() = default;
    virtual void Repaint() = 0;
};

// How a command ended: it exited (with its code), could not be started, was not run because
// its program is not where programs may be run from, or was ended by the monitor after its bound.
enum class CommandEnd { Exited, NotStarted, Skipped, EndedAtBound };

struct CommandOutcome {
    CommandEnd end = CommandEnd::NotStarted;
    int exitCode = 0;  // meaningful when Exited
    std::uint32_t durationMs = 0;

    bool Succeeded() const { return end == CommandEnd::Exited && exitCode == 0; }
    static CommandOutcome ExitedWith(int code, std::uint32_t durationMs = 0) {
        return {CommandEnd::Exited, code, durationMs};
    }
};

// Runs one command line of the restart or the mail as a child (ChildProcess::StartSystemCommand)
// and waits for its end, checking once a second and repainting the window after each pause.
// A child still running after the bound is ended with everything it started: nothing waits
// forever on a service that hangs or a question nobody sees.
class CommandRunner {
public:
    static constexpr std::uint32_t kBoundMs = 5 * 60 * 1000;

    static CommandOutcome Run(const std::string& commandLine, RepaintTarget* window,
                              Clock& clock = RealClock(), std::uint32_t boundMs = kBoundMs);
};

}  // namespace tolvane
