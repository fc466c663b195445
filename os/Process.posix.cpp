#include "os/Process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <utility>

#include "os/Process.posix.h"
#include "text/CommandLine.h"

extern char** environ;

namespace tolvane {

namespace {

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

std::string CurrentDirectory() {
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer) == nullptr) {
        return {};
    }
    std::string dir(buffer);
    if (dir.empty() || dir.back() != '/') {
        dir += '/';
    }
    return dir;
}

}  // namespace

short CleanSignalsFor(posix_spawnattr_t& attributes) {
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGINT, SIGTERM, SIGPIPE, SIGHUP, SIGQUIT, SIGXFSZ, SIGCHLD}) {
        sigaddset(&defaults, sig);
    }
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    return POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
}

std::string ExecutablePath() {
    // The kernel's link holds the resolved path. Once the file has been replaced (an upgrade
    // while the monitor runs) it reads "PATH (deleted)": the folder is still the program's, with
    // its log and the service stand-ins beside it.
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || n == static_cast<ssize_t>(sizeof buffer)) {
        return {};
    }
    std::string path(buffer, static_cast<std::size_t>(n));
    constexpr std::string_view kDeleted = " (deleted)";
    struct stat info {};
    if (path.ends_with(kDeleted) && stat(path.c_str(), &info) != 0) {
        path.resize(path.size() - kDeleted.size());
    }
    return path;
}

std::string ExecutableDirectory() {
    const std::string path = ExecutablePath();
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FindProgram(const std::string& name) {
    if (name.empty()) {
        return {};
    }
    if (name.find('/') != std::string::npos) {
        return IsExecutableFile(name) ? name : std::string();
    }
    std::vector<std::string> folders{ExecutableDirectory(), CurrentDirectory()};
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const auto colon = rest.find(':');
        std::string folder(rest.substr(0, colon));
        if (folder.empty()) {
            folder = ".";
        }
        folders.push_back(folder + "/");
        if (colon == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(colon + 1);
    }
    for (const auto& folder : folders) {
        if (!folder.empty() && IsExecutableFile(folder + name)) {
            return folder + name;
        }
    }
    return {};
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      ownGroup_(other.ownGroup_),
      reaped_(other.reaped_),
      last_(other.last_) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        pid_ = std::exchange(other.pid_, -1);
        ownGroup_ = other.ownGroup_;
        reaped_ = other.reaped_;
        last_ = other.last_;
    }
    return *this;
}

// A child still running is left to run on, as a Windows process outlives its closed handle.
ChildProcess::~ChildProcess() = default;

bool ChildProcess::Start(std::string_view commandLine) {
    return Start(SplitCommandLine(commandLine));
}

SystemStart ChildProcess::StartSystemCommand(std::string_view commandLine) {
    return Start(commandLine) ? SystemStart::Started : SystemStart::NotStarted;
}

void ChildProcess::EndGroup() {
    if (!Started() || reaped_) {
        return;
    }
    // The whole group: command.com's stand-in, the net it runs and whatever that started.
    ::kill(ownGroup_ ? -pid_ : pid_, SIGKILL);
    Wait();
}

bool ChildProcess::Start(const std::vector<std::string>& argv, int standardInput) {
    if (argv.empty() || Started()) {
        return false;
    }
    const std::string program = FindProgram(argv[0]);
    if (program.empty()) {
        return false;
    }
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    if (standardInput >= 0) {
        posix_spawn_file_actions_adddup2(&actions, standardInput, 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    }
    short flags = CleanSignalsFor(attributes);
    if (ownGroup_) {
        posix_spawnattr_setpgroup(&attributes, 0);
        flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&attributes, flags);

    pid_t pid = -1;
    const int error =
        posix_spawn(&pid, program.c_str(), &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        return false;
    }
    pid_ = pid;
    reaped_ = false;
    return true;
}

ExitState ChildProcess::Collect(int options) {
    if (!Started()) {
        return ExitState{false, false, 0};
    }
    if (reaped_) {
        return last_;
    }
    int status = 0;
    pid_t result;
    do {
        result = waitpid(pid_, &status, options);
    } while (result == -1 && errno == EINTR);
    if (result == 0) {
        return ExitState{true, true, 0};
    }
    reaped_ = true;
    if (result == -1) {
        last_ = ExitState{false, false, 0};
    } else if (WIFEXITED(status)) {
        last_ = ExitState{false, true, WEXITSTATUS(status)};
    } else {
        last_ = ExitState{false, true, 128 + WTERMSIG(status)};
    }
    return last_;
}

ExitState ChildProcess::Poll() {
    return Collect(WNOHANG);
}

ExitState ChildProcess::Wait() {
    return Collect(0);
}

}  // namespace tolvane
