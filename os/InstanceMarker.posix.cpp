#include "os/InstanceMarker.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

#include "os/File.h"
#include "os/InstanceMarker.posix.h"

namespace tolvane {

namespace {

constexpr char kShowRequest[] = "show\n";
constexpr char kShownAnswer[] = "shown\n";
constexpr std::size_t kLongestRequest = 64;

// The first copy binds before it listens, and a busy or stopped one leaves its queue full: a
// copy that comes then is refused for the moment and tries again, within its bound.
constexpr auto kConnectRetry = std::chrono::milliseconds(20);

// The holder's announcement: a second name in the abstract namespace, "<marker>.holder.
// <program>.<pid>", bound for the holder's life. The kernel lists bound names in
// /proc/net/unix, so a later copy can read who holds the marker without the holder answering.
constexpr char kHolderInfix[] = ".holder.";

socklen_t AbstractAddress(const std::string& name, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    // sun_path[0] stays 0: the abstract namespace, no file in the file system.
    const std::size_t length = std::min(name.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, name.data(), length);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
}

bool SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

void CloseIfOpen(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

struct InstanceMarker::Handles {
    int listening = -1;
    int announcement = -1;  // the holder's announcement, a second bound name
    ~Handles() {
        CloseIfOpen(announcement);
        CloseIfOpen(listening);
    }
};

InstanceMarker::InstanceMarker(InstanceMarker&& other) noexcept = default;
InstanceMarker& InstanceMarker::operator=(InstanceMarker&& other) noexcept = default;
InstanceMarker::~InstanceMarker() = default;

InstanceMarker::InstanceMarker(std::string name)
    : name_(std::move(name)), handles_(std::make_unique<Handles>()) {
    int& listening = handles_->listening;
    listening = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listening < 0) {
        return;
    }
    sockaddr_un address;
    const socklen_t length = AbstractAddress(name_, address);
    if (::bind(listening, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        claim_ = errno == EADDRINUSE ? Claim::HeldByOther : Claim::Unavailable;
        CloseIfOpen(listening);
        return;
    }
    if (::listen(listening, 16) != 0) {
        CloseIfOpen(listening);
        return;
    }
    claim_ = Claim::Held;
}

int ListenDescriptor(InstanceMarker& marker) {
    return marker.PlatformHandles().listening;
}

InstanceConnection AcceptWaiting(InstanceMarker& marker) {
    const int listening = marker.PlatformHandles().listening;
    if (listening < 0) {
        return InstanceConnection();
    }
    for (;;) {
        const int connection = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (connection >= 0 || errno != EINTR) {
            return InstanceConnection(connection);
        }
    }
}

InstanceConnection::InstanceConnection(InstanceConnection&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)) {}

InstanceConnection& InstanceConnection::operator=(InstanceConnection&& other) noexcept {
    if (this != &other) {
        CloseIfOpen(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

InstanceConnection::~InstanceConnection() {
    CloseIfOpen(fd_);
}

InstanceConnection::Request InstanceConnection::ReadRequest() {
    const int connection = fd_;
    char buffer[kLongestRequest];
    ssize_t got;
    do {
        got = ::recv(connection, buffer, sizeof buffer, MSG_PEEK | MSG_DONTWAIT);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        return errno == EAGAIN || errno == EWOULDBLOCK ? Request::Incomplete : Request::Invalid;
    }
    if (got == 0) {
        return Request::Invalid;  // gone before it said anything
    }
    const char* end =
        static_cast<const char*>(std::memchr(buffer, '\n', static_cast<std::size_t>(got)));
    if (end == nullptr) {
        if (static_cast<std::size_t>(got) == sizeof buffer) {
            return Request::Invalid;
        }
        // A copy that stopped writing before the line ended will never finish it.
        pollfd hangup{connection, POLLRDHUP, 0};
        const bool closed =
            ::poll(&hangup, 1, 0) > 0 && (hangup.revents & (POLLRDHUP | POLLHUP)) != 0;
        return closed ? Request::Invalid : Request::Incomplete;
    }
    const std::size_t lineLength = static_cast<std::size_t>(end - buffer) + 1;
    // Take the line off the socket now that it is whole.
    ::recv(connection, buffer, lineLength, MSG_DONTWAIT);
    const bool show =
        lineLength == sizeof kShowRequest - 1 && std::memcmp(buffer, kShowRequest, lineLength) == 0;
    return show ? Request::ShowWindow : Request::Invalid;
}

void InstanceConnection::Answer() {
    SendAll(fd_, kShownAnswer, sizeof kShownAnswer - 1);
    CloseIfOpen(fd_);
}

bool InstanceConnection::FromSameUser() const {
    ucred peer{};
    socklen_t length = sizeof peer;
    if (::getsockopt(fd_, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0) {
        return false;
    }
    return peer.uid == ::getuid();
}

bool AskToShow(const std::string& name, int boundMs) {
    sockaddr_un address;
    const socklen_t length = AbstractAddress(name, address);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    int fd = -1;
    for (;;) {
        // Non-blocking: a full queue refuses at once instead of holding the connect.
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            return false;
        }
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
            break;
        }
        const int error = errno;
        ::close(fd);
        fd = -1;
        const bool worthRetry = error == ECONNREFUSED || error == EAGAIN || error == EINTR;
        if (!worthRetry || std::chrono::steady_clock::now() + kConnectRetry >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kConnectRetry);
    }
    bool answered = false;
    if (SendAll(fd, kShowRequest, sizeof kShowRequest - 1)) {
        std::string reply;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                break;
            }
            pollfd waiting{fd, POLLIN, 0};
            const int ready = ::poll(&waiting, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready <= 0) {
                break;
            }
            char buffer[16];
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            if (got <= 0) {
                break;
            }
            reply.append(buffer, static_cast<std::size_t>(got));
            if (reply.find('\n') != std::string::npos) {
                answered = reply == kShownAnswer;
                break;
            }
        }
    }
    ::close(fd);
    return answered;
}

void InstanceMarker::Announce(Program program) {
    int& announcement = handles_->announcement;
    if (claim_ != Claim::Held || announcement >= 0) {
        return;
    }
    announcement = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (announcement < 0) {
        return;
    }
    sockaddr_un address;
    const socklen_t length =
        AbstractAddress(name_ + kHolderInfix + AnnouncementText(program, ::getpid()), address);
    if (::bind(announcement, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        CloseIfOpen(announcement);
    }
}

InstanceMarker::Holder InstanceMarker::ReadAnnouncement(const std::string& name) {
    std::string table;
    if (!ReadWholeFile("/proc/net/unix", table)) {
        return Holder{};
    }
    // The path is the last field of a line; an abstract name shows with a leading "@".
    const std::string prefix = " @" + name + kHolderInfix;
    for (std::size_t at = table.find(prefix); at != std::string::npos;
         at = table.find(prefix, at + 1)) {
        const std::size_t start = at + prefix.size();
        const Holder holder = ParseAnnouncement(
            std::string_view(table).substr(start, table.find('\n', start) - start));
        if (holder.program != Program::Unknown) {
            return holder;
        }
    }
    return Holder{};
}

bool InstanceMarker::IsHeld(const std::string& name) {
    // Each line ends in the socket's path; an abstract name is shown after "@".
    std::string sockets;
    if (!ReadWholeFile("/proc/net/unix", sockets)) {
        return false;
    }
    return sockets.find(" @" + name + "\n") != std::string::npos;
}

}  // namespace tolvane
