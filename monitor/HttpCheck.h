#pragma once

#include <cstdint>
#include <string>

#include "os/Socket.h"
#include "os/TlsStream.h"
#include "settings/CheckRules.h"

namespace tolvane {

// What one check asks of the server: a TCP connect when `path` is empty, otherwise an HTTP
// GET of `path` on the same connection. With `tls` a TLS handshake follows the connect, and the
// GET, if any, goes over that session.
struct CheckTarget {
    std::string host;  // the name that is probed
    std::uint32_t port = 80;
    std::string path;        // empty: connect only
    std::string hostHeader;  // empty: `host`
    StatusList accepted{{200, 399}};
    std::string text;  // bytes the body must hold within its first 64 KiB; empty: none
    std::uint32_t timeoutSeconds = 10;
    bool tls = false;
    // How the certificate is judged under `tls`; by default not at all, as health probes do.
    // An empty host: the Host header's name without its port, else `host`.
    TlsPeer tlsPeer{TlsVerify::None, {}, {}};
};

// What one check found. `reason` is short ASCII for the log and the mail ("refused",
// "timed out", "status 503", "text missing", ...); empty on success.
struct CheckResult {
    bool ok = false;
    std::string reason;
    std::uint32_t httpStatus = 0;  // 0 when no status line was read
    std::uint32_t durationMs = 0;
};

// The request an HTTP check sends. The Host header names the port unless it is the scheme's
// own: 80, or 443 under TLS.
std::string CheckRequest(const CheckTarget& target);

// Runs one check. The connection stays in `socket` until the caller closes it, as the TCP
// probe's does; an HTTP or TLS check is bounded by the target's time-out from connect to its
// end. A failed handshake's reason begins with "TLS".
CheckResult RunCheck(const CheckTarget& target, Socket& socket, Resolver resolve = ResolveIPv4);

}  // namespace tolvane
