#include "monitor/PortProbe.h"

namespace tolvane {

bool PortProbe(const std::string& host, std::uint32_t port, Socket& socket, Resolver resolve) {
    socket = Socket::CreateBoundTcp();
    const auto address = resolve(host);
    if (!address) {
        return false;  // no connection attempt without an address
    }
    return socket.Connect(*address, static_cast<std::uint16_t>(port & 0xFFFF));
}

}  // namespace tolvane
