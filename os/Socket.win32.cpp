#include "os/Socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <utility>

namespace tolvane {

namespace {

// Winsock 2 is started once for the whole run, before the first socket or lookup, and
// released when the program ends.
class WinsockSession {
public:
    WinsockSession() { started_ = WSAStartup(MAKEWORD(2, 2), &data_) == 0; }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    ~WinsockSession() {
        if (started_) {
            WSACleanup();
        }
    }

private:
    WSADATA data_{};
    bool started_ = false;
};

void StartWinsock() {
    static WinsockSession session;
}

SOCKET NewTcpSocket() {
    // Not inheritable, so a service started by a restart can never hold the probe's socket.
    SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                          WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
        s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s != INVALID_SOCKET) {
            SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
        }
    }
    return s;
}

}  // namespace

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
        ::closesocket(static_cast<SOCKET>(fd_));
        fd_ = -1;
    }
}

Socket Socket::CreateBoundTcp() {
    StartWinsock();
    const SOCKET s = NewTcpSocket();
    Socket socket(s == INVALID_SOCKET ? -1 : static_cast<NativeSocket>(s));
    if (!socket.IsOpen()) {
        return socket;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = 0;
    if (::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
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
    return ::connect(static_cast<SOCKET>(fd_), reinterpret_cast<const sockaddr*>(&remote),
                     sizeof remote) == 0;
}

std::optional<IPv4Address> ResolveIPv4(const std::string& host) {
    StartWinsock();
    const unsigned long dotted = inet_addr(host.c_str());
    if (dotted != INADDR_NONE || host == "255.255.255.255") {
        return IPv4Address{dotted};
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &answer) != 0 || answer == nullptr) {
        return std::nullopt;
    }
    const IPv4Address address{
        reinterpret_cast<const sockaddr_in*>(answer->ai_addr)->sin_addr.s_addr};
    freeaddrinfo(answer);
    return address;
}

}  // namespace tolvane
