#include "mail/LineSocket.h"

#include <algorithm>

#include "os/ResolverLock.h"

namespace tolvane {

namespace {

Deadline Earlier(std::chrono::milliseconds bound, Deadline deadline) {
    const auto now = std::chrono::steady_clock::now();
    return deadline - now < bound ? deadline : now + bound;
}

}  // namespace

int LineSocket::Connect(const std::string& host, std::uint32_t port, Deadline deadline) {
    Close();
    Socket socket = Socket::CreateBoundTcp();
    if (!socket.IsOpen()) {
        return 0;
    }
    std::optional<IPv4Address> address;
    {
        // The lock only orders lookups: had or not, the lookup goes ahead. Rounded up, so that
        // the wait is never a fraction shorter than its bound.
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
            Earlier(limits_.resolverLockTimeout, deadline) - std::chrono::steady_clock::now());
        ResolverLock lock(limits_.resolverLockName, std::max(wait, std::chrono::milliseconds(0)));
        address = limits_.resolve(host);
    }
    if (!address) {
        return 0;
    }
    if (!ConnectBefore(socket, *address, static_cast<std::uint16_t>(port & 0xFFFF),
                       Earlier(limits_.connectTimeout, deadline), limits_.serve)) {
        return 0;
    }
    Adopt(std::move(socket));
    return 1;
}

void LineSocket::Close() {
    tls_.reset();
    if (Connected == 1) {
        socket_.Close();
    }
    Connected = 0;
}

void LineSocket::Adopt(Socket connected) {
    Close();
    socket_ = std::move(connected);
    Connected = socket_.IsOpen() ? 1 : 0;
}

TlsOpening LineSocket::StartTls(const TlsPeer& peer, Deadline deadline) {
    TlsOpening opening = OpenTls(socket_, peer, deadline, limits_.serve);
    tls_ = std::move(opening.stream);
    return opening;
}

IoStatus LineSocket::ReceiveByte(char& byte, Deadline deadline) {
    if (tls_ == nullptr) {
        return ReceiveByteBefore(socket_, byte, deadline, limits_.serve);
    }
    std::size_t received = 0;
    return tls_->ReceiveSome(&byte, 1, received, deadline, limits_.serve);
}

int LineSocket::ReadLine(std::string& line, Deadline deadline) {
    line.clear();
    char byte = 0;
    while (true) {
        if (line.size() >= limits_.maxLineBytes ||
            ReceiveByte(byte, deadline) != IoStatus::Done) {
            line.clear();
            return 0;
        }
        line += byte;
        if (byte == '\n') {
            return 1;
        }
    }
}

int LineSocket::SendText(std::string_view text, Deadline deadline) {
    const Deadline end = Earlier(limits_.sendTimeout, deadline);
    const IoStatus status = tls_ != nullptr ? tls_->SendAll(text, end, limits_.serve)
                                            : SendAllBefore(socket_, text, end, limits_.serve);
    return status == IoStatus::Done ? 1 : 0;
}

}  // namespace tolvane
