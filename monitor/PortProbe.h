#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "os/Socket.h"
#include "os/SocketIo.h"

namespace tolvane {

// Does the machine accept a TCP connection on the port right now? The socket stays with the
// caller, which closes the connection when its own operation ends. No data is exchanged.
bool PortProbe(const std::string& host, std::uint32_t port, Socket& socket,
               Resolver resolve = ResolveIPv4);

// The same probe telling a name without an address from a connection that did not come about.
// With a deadline the connect gives up then; without one only the system's connect timeout
// limits it.
enum class ProbeOutcome { Connected, NoAddress, NotConnected };
ProbeOutcome ProbePort(const std::string& host, std::uint32_t port, Socket& socket,
                       Resolver resolve, std::optional<Deadline> deadline = std::nullopt);

}  // namespace tolvane
