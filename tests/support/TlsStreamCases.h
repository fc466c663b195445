#pragma once

// The TLS stream's cases, shared by the Linux test (OpenSSL) and the Windows one (SChannel
// under Wine), so both streams answer every peer with the same verdict.
#include <chrono>

#include "os/TlsStream.h"

namespace tolvane::test {

struct TlsStreamCase {
    const char* name;
    const char* peer;         // a kind of tests/support/tls_peer.py: good, other, untrusted, ...
    const char* host;         // TlsPeer::host; the connection is always to 127.0.0.1
    TlsVerify verify;
    const char* fingerprint;  // whose SHA-256 is set (make_test_certs.sh's "server" or
                              // "untrusted"), or "" for none
    std::chrono::milliseconds limit;  // the handshake's deadline from its start
    TlsFailure expected;
};

inline constexpr std::chrono::milliseconds kTlsPatient{60000};
inline constexpr std::chrono::milliseconds kTlsShort{1500};

inline constexpr TlsStreamCase kTlsStreamCases[] = {
    {"trusted chain, right name", "good", "localhost", TlsVerify::Full, "", kTlsPatient,
     TlsFailure::None},
    {"trusted chain, the address in the certificate", "good", "127.0.0.1", TlsVerify::Full, "",
     kTlsPatient, TlsFailure::None},
    {"trusted chain, another name", "other", "localhost", TlsVerify::Full, "", kTlsPatient,
     TlsFailure::WrongName},
    {"untrusted root", "untrusted", "localhost", TlsVerify::Full, "", kTlsPatient,
     TlsFailure::Untrusted},
    {"untrusted root, its fingerprint set", "untrusted", "localhost", TlsVerify::Fingerprint,
     "untrusted", kTlsPatient, TlsFailure::None},
    {"another certificate's fingerprint set", "good", "localhost", TlsVerify::Fingerprint,
     "untrusted", kTlsPatient, TlsFailure::FingerprintMismatch},
    {"unverified, good", "good", "localhost", TlsVerify::None, "", kTlsPatient, TlsFailure::None},
    {"unverified, another name", "other", "localhost", TlsVerify::None, "", kTlsPatient,
     TlsFailure::None},
    {"unverified, untrusted root", "untrusted", "localhost", TlsVerify::None, "", kTlsPatient,
     TlsFailure::None},
    {"handshake never answered", "stall", "localhost", TlsVerify::Full, "", kTlsShort,
     TlsFailure::TimedOut},
    {"not TLS at all", "plain", "localhost", TlsVerify::Full, "", kTlsPatient,
     TlsFailure::Handshake},
    {"a server of before TLS 1.2", "old", "localhost", TlsVerify::None, "", kTlsPatient,
     TlsFailure::Handshake},
};

}  // namespace tolvane::test
