#include "platform/PipedProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>

#include "platform/Process.h"

extern char** environ;

namespace tolvane {

namespace {

bool WriteAll(int fd, std::string_view bytes) {
    // SIGPIPE is held back while writing and a pending one is taken away afterwards, so a
    // reader that goes away shows as a failed write instead of ending this process.
    sigset_t pipe;
    sigset_t previous;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &previous);
    bool ok = true;
    while (ok && !bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            ok = errno == EINTR;
            continue;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
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
    if (argv.empty()) {
        return -1;
    }
    const std::string program = FindProgram(argv[0]);
    if (program.empty()) {
        return -1;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return -1;
    }
    std::vector<char*> args;
    for (const auto& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGINT, SIGTERM, SIGPIPE, SIGHUP, SIGCHLD}) {
        sigaddset(&defaults, sig);
    }
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int error =
        posix_spawn(&pid, program.c_str(), &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(fds[0]);
    if (error != 0) {
        ::close(fds[1]);
        return -1;
    }
    const bool written = WriteAll(fds[1], input);
    ::close(fds[1]);
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid(pid, &status, 0);
    } while (result == -1 && errno == EINTR);
    if (result == -1) {
        return -1;
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    // Input that did not reach the child is a failed hand-over even if the child says 0.
    return written || code != 0 ? code : 1;
}

}  // namespace tolvane
