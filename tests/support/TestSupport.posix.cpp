#include "tests/support/TestSupport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "os/InstanceMarker.h"
#include "os/Process.h"
#include "tests/support/PosixSupport.h"

namespace tolvane::test {

Listener::Listener(IPv4Address at) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = at.networkOrder;
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(fd_, 16) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on loopback");
    }
    port_ = ntohs(address.sin_port);
}

Listener::~Listener() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

int Listener::Accept(int timeoutMs) {
    pollfd waiting{fd_, POLLIN, 0};
    if (::poll(&waiting, 1, timeoutMs) != 1) {
        return -1;
    }
    return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
}

bool OpenAndSilent(int connection) {
    char byte;
    return ::recv(connection, &byte, 1, MSG_DONTWAIT) == -1 &&
           (errno == EAGAIN || errno == EWOULDBLOCK);
}

bool HasPeer(const Socket& socket) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    return ::getpeername(static_cast<int>(socket.Fd()), reinterpret_cast<sockaddr*>(&peer),
                         &length) == 0;
}

bool EndsWithoutData(int connection, int timeoutMs) {
    pollfd waiting{connection, POLLIN, 0};
    char byte;
    const bool ended = ::poll(&waiting, 1, timeoutMs) == 1 && ::recv(connection, &byte, 1, 0) == 0;
    ::close(connection);
    return ended;
}

std::string UsePrivateInstanceMarker() {
    ::setenv("TOLVANE_TEST_INSTANCE", std::to_string(::getpid()).c_str(), 1);
    return InstanceMarker::ProgramName();
}

PrivateInstall::PrivateInstall(const std::string& binDir,
                               std::initializer_list<const char*> executables) {
    UsePrivateInstanceMarker();
    for (const char* name : executables) {
        std::filesystem::copy_file(std::filesystem::path(binDir) / name, Bin(name));
    }
    ::setenv("TOLVANE_REGISTRY", Store().c_str(), 1);
}

std::string PrivateInstall::Command(const std::vector<std::string>& args) const {
    std::string line = "LC_ALL=C.UTF-8 exec " + ShellQuote(Bin("tolvanectl"));
    for (const auto& arg : args) {
        line += " " + ShellQuote(arg);
    }
    return line + " >" + ShellQuote(dir.File("out")) + " 2>" + ShellQuote(dir.File("err"));
}

RunResult PrivateInstall::Run(const std::vector<std::string>& args) const {
    TestChild child;
    EXPECT_TRUE(child.Start(std::vector<std::string>{"sh", "-c", Command(args)}));
    std::string what = "tolvanectl";
    for (const auto& arg : args) {
        what += " " + arg;
    }
    const ExitState state = child.WaitForEnd(what);
    return RunResult{state.exitCode, ReadFile(dir.File("out")), ReadFile(dir.File("err"))};
}

}  // namespace tolvane::test
