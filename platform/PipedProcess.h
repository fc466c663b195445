#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// Runs a program (searched as FindProgram does) with the bytes as its standard input, then
// waits for its end. The exit code, 128 + the signal for a killed child, or -1 when it could
// not be started. A child that stops reading early gives no SIGPIPE here; its exit code tells.
int RunWithInput(const std::vector<std::string>& argv, std::string_view input);

}  // namespace tolvane
