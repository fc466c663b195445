#include "monitor/PortProbe.h"

namespace tolvane {

bool PortProbe(const std::string& host, std::uint32_t port, Socket& socket, Resolver resolve) {
    return ProbePort(host, port, socket, resolve) == ProbeOutcome::Connected;
}

ProbeOutcome ProbePort(const std::string& host, std::uint32_t port, Socket& socket,
                       Resolver resolve, std::optional<Deadline> deadline) {
    socket = Socket::CreateBoundTcp();
    const auto address = resolve(host);
    if (!address) {
        return ProbeOutcome::NoAddress;  // no connection attempt without an address
    }
    const auto wrapped = static_cast<std::uint16_t>(port & 0xFFFF);
    const bool connected = deadline ? ConnectBefore(socket, *address, wrapped, *deadline)
                                    : socket.Connect(*address, wrapped);
    return connected ? ProbeOutcome::Connected : ProbeOutcome::NotConnected;
}

}  // namespace tolvane
