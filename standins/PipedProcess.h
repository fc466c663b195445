#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// What RunWithInput gives when the program did not end within its limit.
constexpr int kRunTimedOut = -2;

// Runs a program (searched as FindProgram does) with the bytes as its standard input, then
// waits for its end, for no longer than the limit in all: past it the program, with whatever it
// started in its process group, is asked to end (SIGTERM) and killed (SIGKILL) if it is still
// there a few seconds later. The exit code, 128 +
// the signal for a child killed otherwise, -1 when it could not be started, kRunTimedOut past
// the limit. A child that stops reading early gives no SIGPIPE here; its exit code tells.
int RunWithInput(const std::vector<std::string>& argv, std::string_view input,
                 std::chrono::milliseconds limit);

}  // namespace tolvane
