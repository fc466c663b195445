#include "tests/support/HttpPeer.h"

#include <cstdlib>

#include "tests/support/PosixSupport.h"
#include "tests/support/TestSupport.h"

namespace tolvane::test {

struct HttpPeer::Server {
    TempDir dir;
    TestChild child;
};

HttpPeer::HttpPeer(const std::string& certDir) : server_(std::make_unique<Server>()) {
    const std::string portFile = server_->dir.File("port");
    std::vector<std::string> command{"/usr/bin/python3", TOLVANE_HTTP_PEER_SCRIPT};
    if (!certDir.empty()) {
        command.insert(command.end(), {"--certs", certDir});
    }
    command.push_back(portFile);
    if (!server_->child.Start(command)) {
        error_ = "/usr/bin/python3 cannot be started";
        return;
    }
    const bool ready = WaitUntil(
        [&] { return !ReadFile(portFile).empty() || !server_->child.Poll().running; }, 30s);
    const std::string port = ReadFile(portFile);
    if (!ready || port.empty()) {
        error_ = "http_peer.py did not start within 30 s";
        return;
    }
    // "PLAIN" or "PLAIN TLS".
    char* end = nullptr;
    port_ = static_cast<std::uint16_t>(std::strtoul(port.c_str(), &end, 10));
    tlsPort_ = static_cast<std::uint16_t>(std::strtoul(end, nullptr, 10));
}

HttpPeer::~HttpPeer() = default;

}  // namespace tolvane::test
