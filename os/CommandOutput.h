#pragma once

#include <cstddef>
#include <string>

#include "os/Clock.h"
#include "os/SocketIo.h"

namespace tolvane {

struct CommandOutput {
    enum class End { Exited, NotStarted, TimedOut };
    End end = End::NotStarted;
    int exitCode = 0;    // when Exited
    std::string output;  // its standard output, the first kMaxCommandOutput bytes of it
};

constexpr std::size_t kMaxCommandOutput = 65536;

// Runs a command line for what it prints, as a mail client runs its password command: through
// /bin/sh -c on POSIX, as CreateProcess takes a command line on Windows. Its standard input is
// the null device and its standard error stays this program's, never mixed into the output.
// Ended (with what it started, on POSIX) when the deadline passes first. Waits serve the clock
// as the socket calls do.
CommandOutput RunForOutput(const std::string& commandLine, Deadline deadline,
                           Clock* serve = nullptr);

}  // namespace tolvane
