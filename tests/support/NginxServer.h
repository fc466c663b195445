#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/PosixSupport.h"
#include "tests/support/TestSupport.h"

namespace tolvane::test {

// Debian's nginx-light as a real web server, run as the current user on a free loopback port,
// with its configuration, pid file, logs, temporary folders and pages in a folder of its own.
// It listens on 127.0.0.1 unless given the address, such as where the machine's name leads for
// a run of the whole program. The destructor ends it with its workers.
class NginxServer {
public:
    static constexpr const char* kProgram = "/usr/sbin/nginx";
    static bool Installed();

    explicit NginxServer(IPv4Address address = kLoopbackAddress);
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    std::uint16_t Port() const { return port_; }
    // Serves the same pages over TLS too, on a port of its own, with the certificate NAME.pem
    // and NAME.key of the folder (make_test_certs.sh's); called before Start.
    void AlsoTls(const std::string& certDir, const std::string& name = "server");
    std::uint16_t TlsPort() const { return tlsPort_; }  // 0 without TLS
    // Where a page the server serves as "/NAME" is written.
    std::string Page(const std::string& name) const { return dir_.File("www/" + name); }

    // Serves with the location block given; empty when it answers, else why it does not.
    std::string Start(const std::string& location = "location / { }");

    // Loads the location anew as an administrator does: the running master re-reads its
    // configuration and starts new workers. Returns once the workers of the old configuration
    // have ended, since until then they may still take a connection; false when that did not
    // come within its bound.
    bool Reload(const std::string& location);

private:
    bool Answers() const;
    std::vector<pid_t> Workers() const;
    std::vector<std::string> Command(const std::vector<std::string>& extra) const;
    void WriteConfig(const std::string& location) const;

    TempDir dir_;
    IPv4Address address_;
    std::uint16_t port_;
    std::uint16_t tlsPort_ = 0;
    std::string certificate_;  // the folder and name without ".pem"; empty without TLS
    TestChild server_;
};

}  // namespace tolvane::test
