#include "tests/support/TestSupport.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <stdexcept>

namespace tolvane::test {

namespace {

bool Readable(SOCKET s, int timeoutMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return ::select(0, &readable, nullptr, nullptr, &timeout) == 1;
}

}  // namespace

Listener::Listener(IPv4Address at) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = at.networkOrder;
    int length = sizeof address;
    if (s == INVALID_SOCKET || ::bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(s, 16) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on loopback");
    }
    fd_ = static_cast<int>(s);
    port_ = ntohs(address.sin_port);
}

Listener::~Listener() {
    if (fd_ >= 0) {
        ::closesocket(static_cast<SOCKET>(fd_));
    }
    WSACleanup();
}

int Listener::Accept(int timeoutMs) {
    const auto s = static_cast<SOCKET>(fd_);
    if (!Readable(s, timeoutMs)) {
        return -1;
    }
    const SOCKET connection = ::accept(s, nullptr, nullptr);
    return connection == INVALID_SOCKET ? -1 : static_cast<int>(connection);
}

bool OpenAndSilent(int connection) {
    // Readable would mean data or the peer's close.
    return !Readable(static_cast<SOCKET>(connection), 0);
}

bool HasPeer(const Socket& socket) {
    sockaddr_storage peer{};
    int length = sizeof peer;
    return ::getpeername(static_cast<SOCKET>(socket.Fd()), reinterpret_cast<sockaddr*>(&peer),
                         &length) == 0;
}

bool EndsWithoutData(int connection, int timeoutMs) {
    const auto s = static_cast<SOCKET>(connection);
    char byte;
    const bool ended = Readable(s, timeoutMs) && ::recv(s, &byte, 1, 0) == 0;
    ::closesocket(s);
    return ended;
}

}  // namespace tolvane::test
