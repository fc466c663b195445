#include "tests/support/HttpPeer.h"

#include <cstdlib>

#include "tests/support/PosixSupport.h"
#include "tests/support/TestSupport.h"

namespace tolvane::test {

struct HttpPeer::Server {
    TempDir dir;
    TestChild child;
};

HttpPeer::HttpPeer() : server_(std::make_unique<Server>()) {
    const std::string portFile = server_->dir.File("port");
    if (!server_->child.Start(std::vector<std::string>{
            "/usr/bin/python3", TOLVANE_HTTP_PEER_SCRIPT, portFile})) {
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
    port_ = static_cast<std::uint16_t>(std::atoi(port.c_str()));
}

HttpPeer::~HttpPeer() = default;

}  // namespace tolvane::test
