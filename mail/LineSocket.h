#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "mail/MailLimits.h"
#include "os/Socket.h"
#include "os/SocketIo.h"
#include "os/TlsStream.h"

namespace tolvane {

// The TCP client connection under the SMTP dialogue: resolves, connects, sends whole texts
// and reads lines one byte per receive, so nothing after a line's LF is ever read ahead.
class LineSocket {
public:
    explicit LineSocket(MailLimits limits = {}) : limits_(std::move(limits)) {}
    LineSocket(const LineSocket&) = delete;
    LineSocket& operator=(const LineSocket&) = delete;
    virtual ~LineSocket() { Close(); }

    // A host name or dotted IPv4 address; the port is used by its low 16 bits. Name lookups
    // run one at a time among the program's copies. Nothing waits past the deadline, except
    // a lookup that has begun, which only the system's resolver bounds.
    int Connect(const std::string& host, std::uint32_t port, Deadline deadline = Deadline::max());
    void Close();
    // Takes a connection made elsewhere, such as one end of a socket pair.
    void Adopt(Socket connected);
    // The TLS handshake over the connection; from then on every line goes through the session.
    // Nothing was read ahead of it, since lines are read a byte at a time.
    TlsOpening StartTls(const TlsPeer& peer, Deadline deadline);

    // Everything up to and including the next LF. 0 with an empty line when the connection
    // ends, fails or the deadline passes before the LF, or when the line grows beyond the
    // longest line allowed.
    int ReadLine(std::string& line, Deadline deadline);
    // 1 when the whole text went out within the send bound and the deadline.
    int SendText(std::string_view text, Deadline deadline = Deadline::max());

    std::uint32_t Connected = 0;

private:
    IoStatus ReceiveByte(char& byte, Deadline deadline);

    MailLimits limits_;
    Socket socket_;
    std::unique_ptr<TlsStream> tls_;  // over socket_, once StartTls succeeded
};

}  // namespace tolvane
