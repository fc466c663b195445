#pragma once

#include <chrono>
#include <optional>

namespace tolvane {

// The requests that end a console program, taken only between two handlers so that a tick or
// a restart always runs to its end. On POSIX: the signals whose default is to end a program
// and that it may catch (SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM), with
// SIGPIPE and SIGXFSZ ignored; on Windows: Ctrl-C, Ctrl-Break and closing the console.

// From now on the requests wait for WaitForStopRequest. Call it first thing, so that a request
// that comes early still ends the program cleanly.
void HoldStopRequests();

// Waits for a request for at most the time given (without one, until it comes); true once a
// request came.
bool WaitForStopRequest(std::optional<std::chrono::nanoseconds> timeout);

// The requests act as they would by default again.
void ReleaseStopRequests();

}  // namespace tolvane
