#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mail/MailLimits.h"
#include "os/Socket.h"
#include "os/SocketIo.h"

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

    // Everything up to and including the next LF. 0 with an empty line when the connection
    // ends, fails or the deadline passes before the LF, or when the line grows beyond the
    // longest line allowed.
    int ReadLine(std::string& line, Deadline deadline);
    // 1 when the whole text went out within the send bound and the deadline.
    int SendText(std::string_view text, Deadline deadline = Deadline::max());

    std::uint32_t Connected = 0;

private:
    MailLimits limits_;
    Socket socket_;
};

}  // namespace tolvane
