#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tolvane::test {

// The raw HTTP server tests/monitor/http_peer.py on a loopback port, for the answers a real web
// server will not give; the request's path picks the answer. On Linux the test starts it and the
// destructor ends it; under Wine it runs on the Linux side beside the test program, which finds
// its port in TOLVANE_TEST_HTTP_PORT.
//
// Given the folder of make_test_certs.sh's certificates it also serves the same answers over TLS
// with server.pem on a second port (under Wine: TOLVANE_TEST_HTTPS_PORT).
class HttpPeer {
public:
    explicit HttpPeer(const std::string& certDir = "");
    HttpPeer(const HttpPeer&) = delete;
    HttpPeer& operator=(const HttpPeer&) = delete;
    ~HttpPeer();

    std::uint16_t Port() const { return port_; }        // 0 when there is no server
    std::uint16_t TlsPort() const { return tlsPort_; }  // 0 when there is no TLS server
    const std::string& Error() const { return error_; }

private:
    struct Server;
    std::unique_ptr<Server> server_;
    std::uint16_t port_ = 0;
    std::uint16_t tlsPort_ = 0;
    std::string error_;
};

}  // namespace tolvane::test
