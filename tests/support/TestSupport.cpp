#include "tests/support/TestSupport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/InstanceMarker.h"
#include "platform/Process.h"

namespace tolvane::test {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tolvane-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

LoopbackListener::LoopbackListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(fd_, 16) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on loopback");
    }
    port_ = ntohs(address.sin_port);
}

LoopbackListener::~LoopbackListener() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

int LoopbackListener::Accept(int timeoutMs) {
    pollfd waiting{fd_, POLLIN, 0};
    if (::poll(&waiting, 1, timeoutMs) != 1) {
        return -1;
    }
    return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
}

std::uint16_t UnusedLoopbackPort() {
    LoopbackListener listener;
    return listener.Port();
}

std::optional<IPv4Address> ResolveLocally(const std::string& host) {
    // Dotted addresses as they stand and "localhost" as the loopback; nothing is looked up.
    const std::string dotted = host == "localhost" ? "127.0.0.1" : host;
    if (dotted.empty() || dotted.find_first_not_of("0123456789.") != std::string::npos) {
        return std::nullopt;
    }
    return ResolveIPv4(dotted);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
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
    ChildProcess child;
    EXPECT_TRUE(child.Start(std::vector<std::string>{"sh", "-c", Command(args)}));
    const ExitState state = child.Wait();
    return RunResult{state.exitCode, ReadFile(dir.File("out")), ReadFile(dir.File("err"))};
}

}  // namespace tolvane::test
