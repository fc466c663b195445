#include "standins/PipedProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <thread>

#include "os/Process.h"

namespace tolvane {

namespace {

using Clock = std::chrono::steady_clock;

// How long a program asked to end may take before it is killed.
constexpr std::chrono::seconds kGrace{5};

// Writes until the deadline; the descriptor is non-blocking, so a child that does not read
// cannot hold the writer.
bool WriteBefore(int fd, std::string_view bytes, Clock::time_point deadline) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n >= 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (errno != EAGAIN || left.count() <= 0) {
            return false;
        }
        pollfd writable{fd, POLLOUT, 0};
        ::poll(&writable, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
    }
    return true;
}

bool WriteWithoutSigpipe(int fd, std::string_view bytes, Clock::time_point deadline) {
    // SIGPIPE is held back while writing and a pending one is taken away afterwards, so a
    // reader that goes away shows as a failed write instead of ending this process.
    sigset_t pipe;
    sigset_t previous;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &previous);
    const bool ok = WriteBefore(fd, bytes, deadline);
    if (!ok) {
        const timespec none{0, 0};
        while (sigtimedwait(&pipe, nullptr, &none) == SIGPIPE) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return ok;
}

// The child's state once it has ended, or a running one when the deadline came first.
ExitState WaitBefore(ChildProcess& child, Clock::time_point deadline) {
    while (true) {
        const ExitState state = child.Poll();
        if (!state.running || !state.readable || Clock::now() >= deadline) {
            return state;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

int RunWithInput(const std::vector<std::string>& argv, std::string_view input,
                 std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return -1;
    }
    ChildProcess child;
    child.UseOwnProcessGroup();  // so that ending it past the limit ends its children too
    const bool started = child.Start(argv, fds[0]);
    ::close(fds[0]);
    if (!started) {
        ::close(fds[1]);
        return -1;
    }
    const bool written =
        ::fcntl(fds[1], F_SETFL, O_NONBLOCK) == 0 && WriteWithoutSigpipe(fds[1], input, deadline);
    ::close(fds[1]);
    ExitState state = WaitBefore(child, deadline);
    if (state.running && state.readable) {
        ::kill(-child.Pid(), SIGTERM);
        if (WaitBefore(child, Clock::now() + kGrace).running) {
            ::kill(-child.Pid(), SIGKILL);
        }
        child.Wait();
        return kRunTimedOut;
    }
    if (!state.readable) {
        return -1;
    }
    // Input that did not reach the child is a failed hand-over even if the child says 0.
    return written || state.exitCode != 0 ? state.exitCode : 1;
}

}  // namespace tolvane
