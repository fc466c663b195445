#include "os/TlsStream.h"

#include <cctype>

namespace tolvane {

std::string TlsOpening::Reason(const TlsPeer& peer) const {
    std::string reason;
    switch (failure) {
        case TlsFailure::None:
            return {};
        case TlsFailure::TimedOut:
            reason = "TLS handshake timed out";
            break;
        case TlsFailure::Closed:
            reason = "TLS handshake: the server closed the connection";
            break;
        case TlsFailure::Handshake:
            reason = "TLS handshake failed";
            break;
        case TlsFailure::Untrusted:
            reason = "TLS certificate not trusted";
            break;
        case TlsFailure::WrongName:
            reason = "TLS certificate is not for " + peer.host;
            break;
        case TlsFailure::FingerprintMismatch:
            reason = "TLS certificate SHA-256 is not the fingerprint set";
            break;
    }
    return detail.empty() ? reason : reason + " (" + detail + ")";
}

std::optional<TlsVerify> TlsVerifyNamed(std::string_view name) {
    if (name == "full") {
        return TlsVerify::Full;
    }
    if (name == "fingerprint") {
        return TlsVerify::Fingerprint;
    }
    if (name == "none") {
        return TlsVerify::None;
    }
    return std::nullopt;
}

std::optional<std::string> NormalizedFingerprint(std::string_view text) {
    std::string digits;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ':') {
            // Only between pairs: "ab:cd", never "a:bcd" or a leading or doubled colon.
            if (digits.empty() || digits.size() % 2 != 0 || i + 1 == text.size() ||
                text[i + 1] == ':') {
                return std::nullopt;
            }
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return std::nullopt;
        }
        digits += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (digits.size() != 64) {
        return std::nullopt;
    }
    return digits;
}

}  // namespace tolvane
