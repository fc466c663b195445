#include "os/SocketIo.h"
#include "os/SocketIo.posix.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace tolvane {

namespace {

// Waits for the events until the deadline: 1 ready, 0 timed out, -1 error.
int WaitUntil(int fd, short events, Deadline deadline) {
    while (true) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return 0;
        }
        pollfd waiting{fd, events, 0};
        const int timeout = left.count() > 3600000 ? 3600000 : static_cast<int>(left.count());
        const int result = ::poll(&waiting, 1, timeout);
        if (result > 0) {
            return 1;
        }
        if (result < 0 && errno != EINTR) {
            return -1;
        }
    }
}

bool SetNonBlocking(int fd, bool on) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) {
        return false;
    }
    return ::fcntl(fd, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0;
}

}  // namespace

int WaitFor(int fd, short events, Deadline deadline, Clock* serve) {
    return WaitServing(deadline, serve, [&](Deadline end) { return WaitUntil(fd, events, end); });
}

bool ConnectBefore(Socket& socket, IPv4Address address, std::uint16_t port, Deadline deadline,
                   Clock* serve) {
    if (!socket.IsOpen() || !SetNonBlocking(socket.Fd(), true)) {
        return false;
    }
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_addr.s_addr = address.networkOrder;
    remote.sin_port = htons(port);
    bool connected =
        ::connect(socket.Fd(), reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0;
    if (!connected && (errno == EINPROGRESS || errno == EINTR)) {
        if (WaitFor(socket.Fd(), POLLOUT, deadline, serve) == 1) {
            int error = 0;
            socklen_t length = sizeof error;
            connected =
                ::getsockopt(socket.Fd(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
        }
    }
    return SetNonBlocking(socket.Fd(), false) && connected;
}

IoStatus SendAllBefore(Socket& socket, std::string_view bytes, Deadline deadline,
                       Clock* serve) {
    if (!socket.IsOpen()) {
        return IoStatus::Failed;
    }
    while (!bytes.empty()) {
        const ssize_t n =
            ::send(socket.Fd(), bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return IoStatus::Failed;
        }
        const int ready = WaitFor(socket.Fd(), POLLOUT, deadline, serve);
        if (ready == 0) {
            return IoStatus::TimedOut;
        }
        if (ready < 0) {
            return IoStatus::Failed;
        }
    }
    return IoStatus::Done;
}

IoStatus ReceiveSomeBefore(Socket& socket, char* buffer, std::size_t capacity,
                           std::size_t& received, Deadline deadline, Clock* serve) {
    received = 0;
    if (!socket.IsOpen() || capacity == 0) {
        return IoStatus::Failed;
    }
    while (true) {
        // Try first: bytes already waiting cost one call, not two.
        const ssize_t n = ::recv(socket.Fd(), buffer, capacity, MSG_DONTWAIT);
        if (n > 0) {
            received = static_cast<std::size_t>(n);
            return IoStatus::Done;
        }
        if (n == 0) {
            return IoStatus::Closed;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return IoStatus::Failed;
        }
        const int ready = WaitFor(socket.Fd(), POLLIN, deadline, serve);
        if (ready == 0) {
            return IoStatus::TimedOut;
        }
        if (ready < 0) {
            return IoStatus::Failed;
        }
    }
}

IoStatus ReceiveByteBefore(Socket& socket, char& byte, Deadline deadline, Clock* serve) {
    std::size_t received = 0;
    return ReceiveSomeBefore(socket, &byte, 1, received, deadline, serve);
}

}  // namespace tolvane
