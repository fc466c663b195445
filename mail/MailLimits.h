#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "os/Clock.h"
#include "os/ResolverLock.h"
#include "os/Socket.h"

namespace tolvane {

// The bounds of one SMTP dialogue, so that a silent or hostile server can never hold the
// program, and the name lookup it uses. Tests shorten the bounds and answer names themselves.
struct MailLimits {
    std::chrono::milliseconds connectTimeout{30000};
    std::chrono::milliseconds sendTimeout{60000};   // one command, or the whole message
    std::chrono::milliseconds replyTimeout{60000};  // one whole reply, not each byte
    // One whole send, from the connection to QUIT: a server that answers every step just
    // before its bound cannot hold the monitor for the sum of them.
    std::chrono::milliseconds dialogueTimeout{120000};
    std::chrono::milliseconds resolverLockTimeout{30000};
    // SmtpTokenCommand's run, within the dialogue's own bound.
    std::chrono::milliseconds tokenCommandTimeout{30000};
    // RFC 5321, 4.5.3.1.5 allows 512 bytes per reply line; anything far beyond is hostile.
    std::size_t maxLineBytes = 4096;
    std::size_t maxReplyLines = 100;
    std::string resolverLockName = ResolverLock::DefaultName();
    Resolver resolve = ResolveIPv4;
    // Given, the dialogue's waits (and the script mail's) pause on this clock every few hundred
    // ms, so the thread that sends, a window's, keeps answering; the bounds stay the same.
    Clock* serve = nullptr;
};

}  // namespace tolvane
