#pragma once

#include <string>

#include "os/Clock.h"

namespace tolvane {

// A window that can be repainted at once while its thread is blocked.
class RepaintTarget {
public:
    virtual ~RepaintTarget() = default;
    virtual void Repaint() = 0;
};

// Runs one command line as a child and waits for its end, checking once a second and
// repainting the window after each pause. True only for a started child that exited with 0.
class CommandRunner {
public:
    static bool Run(const std::string& commandLine, RepaintTarget* window,
                    Clock& clock = RealClock());
};

}  // namespace tolvane
