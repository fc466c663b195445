#include "tests/support/TlsPeers.h"

#include <cstdlib>

namespace tolvane::test {

struct TestCerts::Made {};

TestCerts::TestCerts() {
    const char* dir = std::getenv("TOLVANE_TEST_CERTS");
    if (dir == nullptr || *dir == '\0') {
        error_ = "TOLVANE_TEST_CERTS is not set: run the program as its ctest test does";
        return;
    }
    dir_ = dir;
}

TestCerts::~TestCerts() = default;

// The prefix's store took the root before the run.
const TestCerts& TrustedTestCerts() {
    static const TestCerts certs;
    return certs;
}

struct TlsPeers::Server {};

TlsPeers::TlsPeers(const std::string&) {
    const char* ports = std::getenv("TOLVANE_TEST_TLS_PORTS");
    if (ports == nullptr || *ports == '\0') {
        error_ = "TOLVANE_TEST_TLS_PORTS is not set: run the program through tls_peer.py --run";
        return;
    }
    ports_ = ParseTlsPorts(ports);
}

TlsPeers::~TlsPeers() = default;

}  // namespace tolvane::test
