#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tolvane {

// An IPv4 address in network byte order, as the socket calls take it.
struct IPv4Address {
    std::uint32_t networkOrder = 0;
};

// The system's socket: a descriptor on POSIX, a SOCKET on Windows; -1 when there is none.
using NativeSocket = std::intptr_t;

// One IPv4 TCP stream socket, closed by its destructor. Created close-on-exec, so a
// started service can never inherit it.
class Socket {
public:
    Socket() = default;
    explicit Socket(NativeSocket fd) : fd_(fd) {}
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() { Close(); }

    // A new TCP socket bound to any local address and a port chosen by the system.
    static Socket CreateBoundTcp();

    // Blocking connect; only the system's own connect timeout limits it.
    bool Connect(IPv4Address address, std::uint16_t port);

    bool IsOpen() const { return fd_ >= 0; }
    NativeSocket Fd() const { return fd_; }
    void Close();

private:
    NativeSocket fd_ = -1;
};

// A dotted IPv4 text is taken as it stands (as inet_addr does); any other text is looked up
// for IPv4 and its first address is taken. Nothing when the lookup gives nothing.
std::optional<IPv4Address> ResolveIPv4(const std::string& host);

// How a name becomes an address; tests answer names themselves, so that no query ever
// leaves the machine.
using Resolver = std::optional<IPv4Address> (*)(const std::string& host);

}  // namespace tolvane
