#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace tolvane::test {

// tests/support/make_test_certs.sh's certificates. On Linux the test makes them in a folder of
// its own; under Wine they are made on the Linux side before the run (TOLVANE_TEST_CERTS names
// the folder, as Wine shows it), and the program puts their root in the prefix's machine root
// store for as long as it runs.
class TestCerts {
public:
    TestCerts();
    TestCerts(const TestCerts&) = delete;
    TestCerts& operator=(const TestCerts&) = delete;
    ~TestCerts();

    const std::string& Dir() const { return dir_; }  // empty when there are none
    const std::string& Error() const { return error_; }
    std::string File(const std::string& name) const { return dir_ + "/" + name; }
    // "server" or "untrusted": the certificate's SHA-256, 64 lower-case hex digits.
    std::string Fingerprint(const std::string& name) const;

private:
    struct Made;
    std::unique_ptr<Made> made_;
    std::string dir_;
    std::string error_;
};

// The certificates of this test process, made at the first call and kept to its end, their root
// trusted: on Linux through SSL_CERT_FILE, set then (one root for every test of the process,
// however the TLS library keeps its store); under Wine the prefix's store holds it.
const TestCerts& TrustedTestCerts();

// The TLS peers of tests/support/tls_peer.py (good, other, untrusted, stall, plain) on loopback
// ports. On Linux the test starts them with the certificates' folder and the destructor ends
// them; under Wine they run on the Linux side beside the test program (TOLVANE_TEST_TLS_PORTS).
class TlsPeers {
public:
    explicit TlsPeers(const std::string& certDir);
    TlsPeers(const TlsPeers&) = delete;
    TlsPeers& operator=(const TlsPeers&) = delete;
    ~TlsPeers();

    std::uint16_t Port(const std::string& kind) const;  // 0 when there is no such peer
    const std::string& Error() const { return error_; }

private:
    struct Server;
    std::unique_ptr<Server> server_;
    std::map<std::string, std::uint16_t> ports_;
    std::string error_;
};

// "kind=port" items separated by commas or line ends, as tls_peer.py gives them.
std::map<std::string, std::uint16_t> ParseTlsPorts(const std::string& text);

}  // namespace tolvane::test
