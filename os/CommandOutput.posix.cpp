#include "os/CommandOutput.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "os/Process.posix.h"
#include "os/SocketIo.posix.h"

extern char** environ;

namespace tolvane {

namespace {

pid_t Spawn(const std::string& commandLine, int output) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output, 1);
    const short flags = CleanSignalsFor(attributes);
    // A group of its own, so that a command past its deadline ends with what it started.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, flags | POSIX_SPAWN_SETPGROUP);
    char shell[] = "/bin/sh";
    char dashC[] = "-c";
    char* args[] = {shell, dashC, const_cast<char*>(commandLine.c_str()), nullptr};
    pid_t pid = -1;
    const int error = posix_spawn(&pid, shell, &actions, &attributes, args, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return error == 0 ? pid : -1;
}

int Reap(pid_t pid, int options) {
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid(pid, &status, options);
    } while (result == -1 && errno == EINTR);
    if (result != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

CommandOutput RunForOutput(const std::string& commandLine, Deadline deadline, Clock* serve) {
    CommandOutput result;
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        return result;
    }
    const pid_t pid = Spawn(commandLine, pipe[1]);
    ::close(pipe[1]);
    if (pid <= 0) {
        ::close(pipe[0]);
        return result;
    }
    // Read to the end of its output (also past what is kept, so it never blocks on a full pipe).
    char buffer[4096];
    while (true) {
        const int ready = WaitFor(pipe[0], POLLIN, deadline, serve);
        if (ready <= 0) {
            break;
        }
        const ssize_t n = ::read(pipe[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ::close(pipe[0]);
            pipe[0] = -1;
            break;
        }
        const std::size_t room = kMaxCommandOutput - result.output.size();
        result.output.append(buffer, static_cast<std::size_t>(n) < room ? n : room);
    }
    if (pipe[0] >= 0) {
        ::close(pipe[0]);
        ::kill(-pid, SIGKILL);
        Reap(pid, 0);
        result.end = CommandOutput::End::TimedOut;
        return result;
    }
    // Its output has ended; the shell's own end follows at once, or at the deadline.
    while (true) {
        const int code = Reap(pid, WNOHANG);
        if (code >= 0) {
            result.end = CommandOutput::End::Exited;
            result.exitCode = code;
            return result;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(-pid, SIGKILL);
            Reap(pid, 0);
            result.end = CommandOutput::End::TimedOut;
            return result;
        }
        if (serve != nullptr) {
            serve->Pause(10);
        } else {
            ::usleep(10000);
        }
    }
}

}  // namespace tolvane
