#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace tolvane {

// The bounds of one SMTP dialogue, so that a silent or hostile server can never hold the
// program. Tests shorten them.
struct MailLimits {
    std::chrono::milliseconds connectTimeout{30000};
    std::chrono::milliseconds sendTimeout{60000};   // one command, or the whole message
    std::chrono::milliseconds replyTimeout{60000};  // one whole reply, not each byte
    std::chrono::milliseconds resolverLockTimeout{30000};
    // RFC 5321, 4.5.3.1.5 allows 512 bytes per reply line; anything far beyond is hostile.
    std::size_t maxLineBytes = 4096;
    std::size_t maxReplyLines = 100;
    // The machine-wide lock around name resolution, named after the Windows semaphore.
    std::string resolverLockPath = DefaultResolverLockPath();

    static std::string DefaultResolverLockPath();
};

}  // namespace tolvane
