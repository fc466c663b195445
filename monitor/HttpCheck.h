#pragma once

#include <cstdint>
#include <string>

#include "os/Socket.h"
#include "settings/CheckRules.h"

namespace tolvane {

// What one check asks of the server: a TCP connect when `path` is empty, otherwise an HTTP
// GET of `path` on the same connection.
struct CheckTarget {
    std::string host;  // the name that is probed
    std::uint32_t port = 80;
    std::string path;        // empty: connect only
    std::string hostHeader;  // empty: `host`
    StatusList accepted{{200, 399}};
    std::string text;  // bytes the body must hold within its first 64 KiB; empty: none
    std::uint32_t timeoutSeconds = 10;
};

// What one check found. `reason` is short ASCII for the log and the mail ("refused",
// "timed out", "status 503", "text missing", ...); empty on success.
struct CheckResult {
    bool ok = false;
    std::string reason;
    std::uint32_t httpStatus = 0;  // 0 when no status line was read
    std::uint32_t durationMs = 0;
};

// Runs one check. The connection stays in `socket` until the caller closes it, as the TCP
// probe's does; an HTTP check is bounded by the target's time-out from connect to its end.
CheckResult RunCheck(const CheckTarget& target, Socket& socket, Resolver resolve = ResolveIPv4);

}  // namespace tolvane
