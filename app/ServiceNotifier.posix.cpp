#include "app/ServiceNotifier.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace tolvane {

namespace {

std::string TakeVariable(const char* name) {
    const char* value = std::getenv(name);
    std::string taken = value != nullptr ? value : "";
    ::unsetenv(name);
    return taken;
}

// A decimal number, or nothing when the text holds anything else.
std::optional<unsigned long long> Decimal(const std::string& text) {
    if (text.empty() || text.size() > 19 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::strtoull(text.c_str(), nullptr, 10);
}

// A status is one line of its message.
std::string StatusField(std::string status) {
    std::replace(status.begin(), status.end(), '\n', ' ');
    return "STATUS=" + status;
}

}  // namespace

ServiceNotifier::ServiceNotifier() {
    std::string socketName = TakeVariable("NOTIFY_SOCKET");
    const std::string watchdogUsec = TakeVariable("WATCHDOG_USEC");
    const std::string watchdogPid = TakeVariable("WATCHDOG_PID");
    // Only a path or an abstract name ("@name") that fits an AF_UNIX address is taken.
    if (socketName.empty() || (socketName[0] != '/' && socketName[0] != '@') ||
        socketName.size() >= sizeof(sockaddr_un::sun_path)) {
        return;
    }
    if (socketName[0] == '@') {
        socketName[0] = '\0';
    }
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        return;
    }
    address_ = socketName;
    // The watchdog is meant for this process only when WATCHDOG_PID names it or is absent.
    const auto usec = Decimal(watchdogUsec);
    const auto pid = Decimal(watchdogPid);
    const bool forUs =
        watchdogPid.empty() || (pid && *pid == static_cast<unsigned long long>(::getpid()));
    if (usec && *usec > 0 && forUs) {
        keepAliveEvery_ = std::chrono::microseconds(*usec / 2);
    }
    lastKeepAlive_ = std::chrono::steady_clock::now();
}

ServiceNotifier::~ServiceNotifier() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void ServiceNotifier::Ready() {
    Send("READY=1");
}

void ServiceNotifier::Status(const std::string& status) {
    Send(StatusField(status));
}

void ServiceNotifier::Stopping() {
    Send("STOPPING=1");
}

void ServiceNotifier::KeepAliveIfDue() {
    const auto next = NextKeepAlive();
    if (next && std::chrono::steady_clock::now() >= *next) {
        lastKeepAlive_ = std::chrono::steady_clock::now();
        Send("WATCHDOG=1");
    }
}

std::optional<ServiceNotifier::TimePoint> ServiceNotifier::NextKeepAlive() const {
    if (!Active() || keepAliveEvery_.count() == 0) {
        return std::nullopt;
    }
    return lastKeepAlive_ + keepAliveEvery_;
}

void ServiceNotifier::Send(const std::string& message) {
    if (!Active()) {
        return;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, address_.data(), address_.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + address_.size() +
                                               (address_[0] == '\0' ? 0 : 1));
    // A lost message is not worth stopping for: the manager sees the next one.
    ::sendto(fd_, message.data(), message.size(), MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr*>(&address), length);
}

}  // namespace tolvane
