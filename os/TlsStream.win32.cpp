#include "os/TlsStream.h"

namespace tolvane {

// Until the system's TLS library is wired in, every handshake fails plainly.
TlsOpening OpenTls(Socket&, const TlsPeer&, Deadline, Clock*) {
    TlsOpening opening;
    opening.failure = TlsFailure::Handshake;
    opening.detail = "no TLS library";
    return opening;
}

}  // namespace tolvane
