#include "os/SocketIo.h"

#include <algorithm>

namespace tolvane {

int WaitServing(Deadline deadline, Clock* serve, const std::function<int(Deadline)>& wait) {
    if (serve == nullptr) {
        return wait(deadline);
    }
    while (true) {
        const int ready = wait(std::min(deadline, std::chrono::steady_clock::now() + kServeSlice));
        if (ready != 0 || std::chrono::steady_clock::now() >= deadline) {
            return ready;
        }
        // The shortest pause: a window's clock serves the messages that came meanwhile.
        serve->Pause(1);
    }
}

}  // namespace tolvane
