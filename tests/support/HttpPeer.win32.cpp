#include "tests/support/HttpPeer.h"

#include <cstdlib>

namespace tolvane::test {

struct HttpPeer::Server {};

HttpPeer::HttpPeer(const std::string& certDir) {
    if (const char* tls = std::getenv("TOLVANE_TEST_HTTPS_PORT"); !certDir.empty() && tls) {
        tlsPort_ = static_cast<std::uint16_t>(std::atoi(tls));
    }
    const char* port = std::getenv("TOLVANE_TEST_HTTP_PORT");
    if (port == nullptr || std::atoi(port) <= 0) {
        error_ = "TOLVANE_TEST_HTTP_PORT is not set: run the program through http_peer.py --run";
        return;
    }
    port_ = static_cast<std::uint16_t>(std::atoi(port));
}

HttpPeer::~HttpPeer() = default;

}  // namespace tolvane::test
