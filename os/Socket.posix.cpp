#include "os/Socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace tolvane {

Socket::Socket(Socket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void Socket::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

Socket Socket::CreateBoundTcp() {
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.IsOpen()) {
        return socket;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = 0;
    if (::bind(socket.fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        socket.Close();
    }
    return socket;
}

bool Socket::Connect(IPv4Address address, std::uint16_t port) {
    if (!IsOpen()) {
        return false;
    }
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_addr.s_addr = address.networkOrder;
    remote.sin_port = htons(port);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0) {
        return true;
    }
    if (errno != EINTR) {
        return false;
    }
    // An interrupted connect goes on in the background; wait for its outcome.
    pollfd waiting{static_cast<int>(fd_), POLLOUT, 0};
    while (::poll(&waiting, 1, -1) == -1) {
        if (errno != EINTR) {
            return false;
        }
    }
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

std::optional<IPv4Address> ResolveIPv4(const std::string& host) {
    in_addr address{};
    if (inet_aton(host.c_str(), &address) != 0) {
        return IPv4Address{address.s_addr};
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &answer) != 0 || answer == nullptr) {
        return std::nullopt;
    }
    address = reinterpret_cast<const sockaddr_in*>(answer->ai_addr)->sin_addr;
    freeaddrinfo(answer);
    return IPv4Address{address.s_addr};
}

}  // namespace tolvane
