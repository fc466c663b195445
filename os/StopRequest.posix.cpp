#include "os/StopRequest.h"

#include <poll.h>

#include <csignal>
#include <ctime>

namespace tolvane {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void OnStopSignal(int) {
    stopRequested = 1;
}

constexpr int kEndingSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM};

sigset_t EndingSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kEndingSignals) {
        sigaddset(&set, sig);
    }
    return set;
}

}  // namespace

void HoldStopRequests() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    const sigset_t ending = EndingSignals();
    sigprocmask(SIG_BLOCK, &ending, nullptr);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : kEndingSignals) {
        sigaction(sig, &action, nullptr);
    }
}

bool WaitForStopRequest(std::optional<std::chrono::nanoseconds> timeout) {
    if (stopRequested == 0) {
        sigset_t open;
        sigprocmask(SIG_BLOCK, nullptr, &open);
        for (int sig : kEndingSignals) {
            sigdelset(&open, sig);
        }
        timespec wait{};
        if (timeout) {
            const auto ns = timeout->count() < 0 ? 0 : timeout->count();
            wait.tv_sec = static_cast<time_t>(ns / 1000000000);
            wait.tv_nsec = static_cast<long>(ns % 1000000000);
        }
        // The ending signals can arrive only here, between handlers.
        ppoll(nullptr, 0, timeout ? &wait : nullptr, &open);
    }
    return stopRequested != 0;
}

void ReleaseStopRequests() {
    const sigset_t ending = EndingSignals();
    sigprocmask(SIG_UNBLOCK, &ending, nullptr);
}

}  // namespace tolvane
