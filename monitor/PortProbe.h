#pragma once

#include <cstdint>
#include <string>

#include "os/Socket.h"

namespace tolvane {

// Does the machine accept a TCP connection on the port right now? The socket stays with the
// caller, which closes the connection when its own operation ends. No data is exchanged.
bool PortProbe(const std::string& host, std::uint32_t port, Socket& socket,
               Resolver resolve = ResolveIPv4);

}  // namespace tolvane
