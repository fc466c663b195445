#include "tests/support/TlsPeers.h"

#include <cstdlib>

#include "tests/support/PosixSupport.h"
#include "tests/support/TestSupport.h"

namespace tolvane::test {

struct TestCerts::Made {
    TempDir dir;
};

TestCerts::TestCerts() : made_(std::make_unique<Made>()) {
    ChildProcess maker;
    if (!maker.Start(
            std::vector<std::string>{"/bin/sh", TOLVANE_MAKE_TEST_CERTS, made_->dir.Path()}) ||
        WaitForEnd(maker, "make_test_certs.sh").exitCode != 0) {
        error_ = "make_test_certs.sh failed: is Debian's openssl command installed?";
        return;
    }
    dir_ = made_->dir.Path();
}

TestCerts::~TestCerts() = default;

const TestCerts& TrustedTestCerts() {
    static const TestCerts certs;
    static const bool trusted =
        !certs.Dir().empty() && ::setenv("SSL_CERT_FILE", certs.File("ca.pem").c_str(), 1) == 0;
    (void)trusted;
    return certs;
}

struct TlsPeers::Server {
    TempDir dir;
    TestChild child;
};

TlsPeers::TlsPeers(const std::string& certDir) : server_(std::make_unique<Server>()) {
    const std::string portFile = server_->dir.File("ports");
    if (!server_->child.Start(std::vector<std::string>{"/usr/bin/python3", TOLVANE_TLS_PEER_SCRIPT,
                                                       certDir, portFile})) {
        error_ = "/usr/bin/python3 cannot be started";
        return;
    }
    const bool ready = WaitUntil(
        [&] { return !ReadFile(portFile).empty() || !server_->child.Poll().running; }, 30s);
    ports_ = ParseTlsPorts(ReadFile(portFile));
    if (!ready || ports_.empty()) {
        error_ = "tls_peer.py did not start within 30 s";
    }
}

TlsPeers::~TlsPeers() = default;

}  // namespace tolvane::test
