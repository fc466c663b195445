#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "os/Clock.h"
#include "os/Socket.h"
#include "os/SocketIo.h"

namespace tolvane {

// How the server's certificate is judged once the handshake is done.
enum class TlsVerify {
    Full,         // a chain to a root the system trusts, and `host` named by the certificate
    Fingerprint,  // the certificate's SHA-256 equals `fingerprint`; chain and name not asked
    None,         // anything is taken
};

// The choice as the settings name it: "full", "fingerprint" or "none"; nothing for another text.
std::optional<TlsVerify> TlsVerifyNamed(std::string_view name);

struct TlsPeer {
    TlsVerify verify = TlsVerify::Full;
    std::string host;         // the name the certificate must carry; also sent as SNI
    std::string fingerprint;  // 64 lower-case hex digits (see NormalizedFingerprint)
};

// Why a handshake did not give a stream. Both implementations answer with these, so the
// reasons a user reads are the same on every system.
enum class TlsFailure {
    None,
    TimedOut,             // the handshake did not end before the deadline
    Closed,               // the peer ended the connection during the handshake
    Handshake,            // no common protocol, not TLS at all, a broken record, ...
    Untrusted,            // no chain to a trusted root, or an expired or unusable one
    WrongName,            // a good chain for another name
    FingerprintMismatch,  // the certificate is not the one set
};

// A client TLS session over a connected socket, which must outlive it. Every wait has the
// same deadlines and `serve` slicing as the plain socket calls.
class TlsStream {
public:
    virtual ~TlsStream() = default;
    virtual IoStatus SendAll(std::string_view bytes, Deadline deadline, Clock* serve) = 0;
    // At least one byte and at most `capacity` of the decrypted data; decrypted bytes beyond
    // what was asked wait inside for the next call, so reading a byte at a time costs no more
    // receives than reading a record at once. Closed when the peer has ended the session.
    virtual IoStatus ReceiveSome(char* buffer, std::size_t capacity, std::size_t& received,
                                 Deadline deadline, Clock* serve) = 0;
    // The server certificate's SHA-256, 64 lower-case hex digits.
    virtual std::string PeerFingerprint() const = 0;
};

struct TlsOpening {
    std::unique_ptr<TlsStream> stream;  // null on failure
    TlsFailure failure = TlsFailure::None;
    std::string detail;  // the library's own words, ASCII, may be empty
    std::string Reason(const TlsPeer& peer) const;  // one line for the log and the mail
};

// Runs the client handshake (TLS 1.2 or later) over `socket` before `deadline` and judges the
// certificate as `peer` asks. Trusted roots are the system's: OpenSSL's default paths on Linux
// (which `SSL_CERT_FILE` and `SSL_CERT_DIR` replace), the certificate stores on Windows.
TlsOpening OpenTls(Socket& socket, const TlsPeer& peer, Deadline deadline,
                   Clock* serve = nullptr);

// A SHA-256 fingerprint as people copy it, 64 hex digits in either case, pairs optionally
// separated by colons: the 64 lower-case digits, or nothing when the text is not one.
std::optional<std::string> NormalizedFingerprint(std::string_view text);

}  // namespace tolvane
