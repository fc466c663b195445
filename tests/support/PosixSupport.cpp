#include "tests/support/PosixSupport.h"

#include <arpa/inet.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "os/ComputerName.h"
#include "tests/support/TestSupport.h"

namespace tolvane::test {

bool MachineName::IsLoopback() const {
    return address && (ntohl(address->networkOrder) >> 24) == 127;
}

std::string MachineName::Need() const {
    char text[INET_ADDRSTRLEN] = "";
    if (address) {
        ::inet_ntop(AF_INET, &address->networkOrder, text, sizeof text);
    }
    return "The machine's name \"" + name + "\" " +
           (address ? "leads to " + std::string(text) : std::string("does not resolve")) +
           "; these tests need it and \"localhost\" to resolve to this machine (an /etc/hosts "
           "line), as the program probes the machine by its name.";
}

bool LoopbackAnswers(std::uint16_t port) {
    Socket socket = Socket::CreateBoundTcp();
    return socket.Connect(IPv4Address{htonl(INADDR_LOOPBACK)}, port);
}

std::uint16_t PortFreeEverywhere() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

pid_t ReadPid(const std::string& path) {
    const std::string text = ReadFile(path);
    return text.empty() ? -1 : static_cast<pid_t>(std::atoi(text.c_str()));
}

MachineName OwnMachineName() {
    MachineName machine{GetComputerName(), std::nullopt};
    machine.address = ResolveIPv4(machine.name);
    return machine;
}

ExitState WaitForEnd(ChildProcess& child, std::string_view what, std::chrono::seconds bound) {
    ExitState state = child.Poll();
    if (!state.running) {
        return state;
    }
    if (WaitUntil([&] { return !(state = child.Poll()).running; }, bound)) {
        return state;
    }
    ADD_FAILURE() << "gave up after " << bound.count() << " s waiting for " << what
                  << "; the child " << child.Pid() << " is killed";
    const pid_t pid = child.Pid();
    ::kill(::getpgid(pid) == pid ? -pid : pid, SIGKILL);
    child.Wait();
    return state;
}

bool TestChild::Start(const std::vector<std::string>& argv) {
    // A child that does not lead a process group is never one, so setsid makes the group
    // without forking: the child keeps the pid the test knows.
    std::vector<std::string> grouped{"/usr/bin/setsid"};
    grouped.insert(grouped.end(), argv.begin(), argv.end());
    return process_.Start(grouped);
}

void TestChild::End() {
    if (!process_.Started()) {
        return;
    }
    const pid_t group = process_.Pid();
    if (process_.Poll().running) {
        ::kill(-group, SIGTERM);
        WaitUntil([&] { return !process_.Poll().running; }, 10s);
    }
    // What the child started may outlive it.
    ::kill(-group, SIGKILL);
    if (process_.Poll().running) {
        process_.Wait();
    }
}

void HandOver(const std::string& folder) {
    if (::geteuid() != 0) {
        return;
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        (void)::lchown(entry.path().c_str(), kUnprivilegedUser, kUnprivilegedUser);
    }
    (void)::chown(folder.c_str(), kUnprivilegedUser, kUnprivilegedUser);
}

std::string Stage(const std::string& program, const std::string& folder) {
    const std::filesystem::path copy =
        std::filesystem::path(folder) / std::filesystem::path(program).filename();
    std::filesystem::copy_file(program, copy, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(copy, std::filesystem::perms(0755));
    if (::geteuid() == 0) {
        (void)::chown(copy.c_str(), kUnprivilegedUser, kUnprivilegedUser);
    }
    return copy.string();
}

int RunUnprivileged(std::string_view what, const std::function<int()>& function,
                    std::chrono::seconds bound) {
    constexpr int kCannotSwitch = 120;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ADD_FAILURE() << "cannot fork for " << what;
        return kCannotSwitch;
    }
    if (pid == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedUser) != 0 ||
                ::setuid(kUnprivilegedUser) != 0) {
                ::_exit(kCannotSwitch);
            }
            // Keeps /proc/self/exe readable, by which programs are found beside the tests.
            ::prctl(PR_SET_DUMPABLE, 1);
        }
        ::_exit(function());
    }
    ::setpgid(pid, pid);
    int status = 0;
    pid_t reaped = 0;
    const bool ended = WaitUntil(
        [&] {
            do {
                reaped = ::waitpid(pid, &status, WNOHANG);
            } while (reaped < 0 && errno == EINTR);
            return reaped != 0;
        },
        bound);
    if (!ended) {
        ADD_FAILURE() << "gave up after " << bound.count() << " s waiting for " << what
                      << " as user " << kUnprivilegedUser << "; its process group is killed";
        ::kill(-pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return kCannotSwitch + 1;
    }
    ::kill(-pid, SIGKILL);  // whatever it started and left behind
    if (reaped != pid || !WIFEXITED(status)) {
        ADD_FAILURE() << what << " ended abnormally";
        return kCannotSwitch + 2;
    }
    const int result = WEXITSTATUS(status);
    if (result == kCannotSwitch) {
        ADD_FAILURE() << "cannot switch to user " << kUnprivilegedUser << " for " << what;
    }
    return result;
}

ScopedEnvironment::ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        old_ = old;
    }
    ::setenv(name, value.c_str(), 1);
}

ScopedEnvironment::~ScopedEnvironment() {
    if (old_) {
        ::setenv(name_, old_->c_str(), 1);
    } else {
        ::unsetenv(name_);
    }
}

}  // namespace tolvane::test
