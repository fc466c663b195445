#include "os/SocketIo.h"

#include <winsock2.h>

namespace tolvane {

namespace {

enum class Ready { Read, Write };

// Waits until the socket is ready or the deadline passes: 1 ready, 0 timed out, -1 error.
// A failed connect shows in the exception set, so a write wait watches that too.
int WaitUntil(SOCKET s, Ready what, Deadline deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        return 0;
    }
    const long ms = left.count() > 3600000 ? 3600000 : static_cast<long>(left.count());
    timeval timeout{ms / 1000, (ms % 1000) * 1000};
    fd_set readable;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, what == Ready::Read ? &readable : &writable);
    FD_SET(s, &failed);
    const int result = ::select(0, &readable, &writable, &failed, &timeout);
    if (result > 0) {
        return 1;
    }
    if (result < 0) {
        return -1;
    }
    return std::chrono::steady_clock::now() >= deadline ? 0 : WaitUntil(s, what, deadline);
}

// The same, serving the clock between slices when one is given.
int WaitFor(SOCKET s, Ready what, Deadline deadline, Clock* serve) {
    return WaitServing(deadline, serve, [&](Deadline end) { return WaitUntil(s, what, end); });
}

bool SetNonBlocking(SOCKET s, bool on) {
    u_long mode = on ? 1 : 0;
    return ::ioctlsocket(s, FIONBIO, &mode) == 0;
}

int PendingError(SOCKET s) {
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
        return -1;
    }
    return error;
}

}  // namespace

bool ConnectBefore(Socket& socket, IPv4Address address, std::uint16_t port, Deadline deadline,
                   Clock* serve) {
    const auto s = static_cast<SOCKET>(socket.Fd());
    if (!socket.IsOpen() || !SetNonBlocking(s, true)) {
        return false;
    }
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_addr.s_addr = address.networkOrder;
    remote.sin_port = htons(port);
    bool connected = ::connect(s, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
        connected = WaitFor(s, Ready::Write, deadline, serve) == 1 && PendingError(s) == 0;
    }
    return SetNonBlocking(s, false) && connected;
}

IoStatus SendAllBefore(Socket& socket, std::string_view bytes, Deadline deadline,
                       Clock* serve) {
    const auto s = static_cast<SOCKET>(socket.Fd());
    if (!socket.IsOpen() || !SetNonBlocking(s, true)) {
        return IoStatus::Failed;
    }
    IoStatus status = IoStatus::Done;
    while (!bytes.empty()) {
        const int chunk = bytes.size() > 0x100000 ? 0x100000 : static_cast<int>(bytes.size());
        const int n = ::send(s, bytes.data(), chunk, 0);
        if (n >= 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (WSAGetLastError() != WSAEWOULDBLOCK) {
            status = IoStatus::Failed;
            break;
        }
        const int ready = WaitFor(s, Ready::Write, deadline, serve);
        if (ready <= 0) {
            status = ready == 0 ? IoStatus::TimedOut : IoStatus::Failed;
            break;
        }
    }
    SetNonBlocking(s, false);
    return status;
}

IoStatus ReceiveSomeBefore(Socket& socket, char* buffer, std::size_t capacity,
                           std::size_t& received, Deadline deadline, Clock* serve) {
    const auto s = static_cast<SOCKET>(socket.Fd());
    received = 0;
    if (!socket.IsOpen() || capacity == 0) {
        return IoStatus::Failed;
    }
    // The socket stays blocking: a receive is made only once bytes or the end are waiting, and
    // then takes what is there.
    const int ready = WaitFor(s, Ready::Read, deadline, serve);
    if (ready <= 0) {
        return ready == 0 ? IoStatus::TimedOut : IoStatus::Failed;
    }
    const int n = ::recv(s, buffer, capacity > 0x100000 ? 0x100000 : static_cast<int>(capacity), 0);
    if (n > 0) {
        received = static_cast<std::size_t>(n);
        return IoStatus::Done;
    }
    return n == 0 ? IoStatus::Closed : IoStatus::Failed;
}

IoStatus ReceiveByteBefore(Socket& socket, char& byte, Deadline deadline, Clock* serve) {
    std::size_t received = 0;
    return ReceiveSomeBefore(socket, &byte, 1, received, deadline, serve);
}

}  // namespace tolvane
