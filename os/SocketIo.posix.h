#pragma once

#include "os/SocketIo.h"

namespace tolvane {

// Waits for poll `events` on `fd` until the deadline, serving the clock between slices when one
// is given: 1 ready, 0 timed out, -1 error. For the other stream calls over the same socket.
int WaitFor(int fd, short events, Deadline deadline, Clock* serve);

}  // namespace tolvane
