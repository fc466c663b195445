#include "mail/LineSocket.h"

#include "platform/BoundedFileLock.h"

namespace tolvane {

int LineSocket::Connect(const std::string& host, std::uint32_t port) {
    Close();
    Socket socket = Socket::CreateBoundTcp();
    if (!socket.IsOpen()) {
        return 0;
    }
    std::optional<in_addr> address;
    {
        BoundedFileLock lock(limits_.resolverLockPath, limits_.resolverLockTimeout);
        // Without a lock file the lookup goes ahead unguarded; a lock held by another caller
        // for longer than the bound counts as a failed wait.
        if (lock.Opened() && !lock.Locked()) {
            return 0;
        }
        address = ResolveIPv4(host);
    }
    if (!address) {
        return 0;
    }
    const Deadline deadline = std::chrono::steady_clock::now() + limits_.connectTimeout;
    if (!ConnectBefore(socket, *address, static_cast<std::uint16_t>(port & 0xFFFF), deadline)) {
        return 0;
    }
    socket_ = std::move(socket);
    Connected = 1;
    return 1;
}

void LineSocket::Close() {
    if (Connected == 1) {
        socket_.Close();
    }
    Connected = 0;
}

int LineSocket::ReadLine(std::string& line, Deadline deadline) {
    line.clear();
    char byte = 0;
    while (true) {
        if (line.size() >= limits_.maxLineBytes ||
            ReceiveByteBefore(socket_, byte, deadline) != IoStatus::Done) {
            line.clear();
            return 0;
        }
        line += byte;
        if (byte == '\n') {
            return 1;
        }
    }
}

int LineSocket::SendText(std::string_view text) {
    const Deadline deadline = std::chrono::steady_clock::now() + limits_.sendTimeout;
    return SendAllBefore(socket_, text, deadline) == IoStatus::Done ? 1 : 0;
}

}  // namespace tolvane
