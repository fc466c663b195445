#include "app/ConsoleHost.h"

#include <poll.h>

#include <cerrno>
#include <ctime>

#include "platform/CodePage.h"
#include "platform/LocalTime.h"

namespace tolvane {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void OnStopSignal(int) {
    stopRequested = 1;
}

// The signals whose default action ends a program and that a program may catch, apart from
// SIGPIPE and SIGXFSZ, which are ignored.
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

void ConsoleHost::ShowStatus() {
    if (!printStatus_ || cycle_ == nullptr) {
        return;
    }
    const std::string line =
        FormatLocalTime(std::time(nullptr)) + "\t" + Cp932ToLocale(cycle_->StatusText) + "\n";
    std::fputs(line.c_str(), out_);
    std::fflush(out_);
}

void ConsoleHost::ArmTimer(int id, std::uint32_t ms) {
    timers_[id] = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

void ConsoleHost::HoldEndingSignals() {
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

void ConsoleHost::RunUntilSignalled() {
    HoldEndingSignals();
    const sigset_t ending = EndingSignals();
    sigset_t open;
    sigprocmask(SIG_BLOCK, nullptr, &open);
    for (int sig : kEndingSignals) {
        sigdelset(&open, sig);
    }

    while (stopRequested == 0) {
        timespec wait{};
        timespec* timeout = nullptr;
        if (!timers_.empty()) {
            auto next = timers_.begin();
            for (auto it = timers_.begin(); it != timers_.end(); ++it) {
                if (it->second < next->second) {
                    next = it;
                }
            }
            const auto left = next->second - std::chrono::steady_clock::now();
            if (left <= std::chrono::steady_clock::duration::zero()) {
                // Expiries behave as one-shots: the handler kills and re-arms as it needs.
                const int id = next->first;
                timers_.erase(next);
                if (cycle_ != nullptr) {
                    cycle_->OnTimer(id);
                }
                continue;
            }
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            wait.tv_sec = static_cast<time_t>(ns / 1000000000);
            wait.tv_nsec = static_cast<long>(ns % 1000000000);
            timeout = &wait;
        }
        // The ending signals can arrive only here, between handlers.
        ppoll(nullptr, 0, timeout, &open);
    }
    sigprocmask(SIG_UNBLOCK, &ending, nullptr);
}

}  // namespace tolvane
