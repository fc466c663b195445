#include "platform/PipedProcess.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>

#include "platform/File.h"
#include "platform/Process.h"

namespace tolvane {

namespace {

bool WriteAllWithoutSigpipe(int fd, std::string_view bytes) {
    // SIGPIPE is held back while writing and a pending one is taken away afterwards, so a
    // reader that goes away shows as a failed write instead of ending this process.
    sigset_t pipe;
    sigset_t previous;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &previous);
    const bool ok = WriteAll(fd, bytes);
    if (!ok) {
        const timespec none{0, 0};
        while (sigtimedwait(&pipe, nullptr, &none) == SIGPIPE) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return ok;
}

}  // namespace

int RunWithInput(const std::vector<std::string>& argv, std::string_view input) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return -1;
    }
    ChildProcess child;
    const bool started = child.Start(argv, fds[0]);
    ::close(fds[0]);
    if (!started) {
        ::close(fds[1]);
        return -1;
    }
    const bool written = WriteAllWithoutSigpipe(fds[1], input);
    ::close(fds[1]);
    const ExitState state = child.Wait();
    if (!state.readable) {
        return -1;
    }
    // Input that did not reach the child is a failed hand-over even if the child says 0.
    return written || state.exitCode != 0 ? state.exitCode : 1;
}

}  // namespace tolvane
