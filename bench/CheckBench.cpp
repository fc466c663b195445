// What one check costs the checking thread in CPU time: the plain TCP connect beside the HTTP
// check against a local web server (Debian's nginx-light when installed, else the tests' raw
// peer), without and with TLS, and that cost over an hour of checks once a second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "bench/BenchSupport.h"
#include "monitor/HttpCheck.h"
#include "tests/support/HttpPeer.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TlsPeers.h"

namespace tolvane {
namespace {

// The web server of every HTTP run: nginx serving a small page, or the peer's "/ok"; both also
// over TLS with the tests' certificate.
struct WebServer {
    WebServer() {
        const test::TestCerts& certs = test::TrustedTestCerts();
        if (test::NginxServer::Installed()) {
            nginx = std::make_unique<test::NginxServer>();
            if (!certs.Dir().empty()) {
                nginx->AlsoTls(certs.Dir());
            }
            test::WriteFile(nginx->Page("index.html"),
                            "<html><body><h1>IIS Tolvane</h1><p>all well: needle</p></body></html>\n");
            error = nginx->Start();
            port = nginx->Port();
            tlsPort = nginx->TlsPort();
            path = "/";
            name = "nginx";
        } else {
            peer = std::make_unique<test::HttpPeer>(certs.Dir());
            error = peer->Error();
            port = peer->Port();
            tlsPort = peer->TlsPort();
            path = "/ok";
            name = "http_peer.py";
        }
    }
    std::unique_ptr<test::NginxServer> nginx;
    std::unique_ptr<test::HttpPeer> peer;
    std::string error;
    std::uint16_t port = 0;
    std::uint16_t tlsPort = 0;  // 0 without the certificates
    std::string path;
    std::string name;
};

WebServer& Server() {
    static WebServer server;
    return server;
}

// The CPU column is this thread's CPU time per check; the counter scales it to an hour of one
// check a second.
void Report(benchmark::State& state) {
    state.counters["cpu_s_per_hour_at_1s"] = benchmark::Counter(
        1.0 / 3600.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void RunChecks(benchmark::State& state, const CheckTarget& target) {
    for (auto _ : state) {
        Socket socket;
        const CheckResult result = RunCheck(target, socket);
        if (!result.ok) {
            state.SkipWithError(("check failed: " + result.reason).c_str());
            break;
        }
        socket.Close();
    }
    Report(state);
}

void BM_TcpCheck(benchmark::State& state) {
    bench::AcceptingListener listener;
    CheckTarget target;
    target.host = "127.0.0.1";
    target.port = listener.Port();
    RunChecks(state, target);
}
// A fixed count: every connection leaves a TIME_WAIT behind on loopback for a minute, and tens
// of thousands of them make the connects that follow slow and costly, measuring the pile-up
// instead. The Time column is no figure here: the probe binds its port before it connects, so
// now and then a connect meets a TIME_WAIT of the same ports and waits for a SYN retry.
constexpr int kChecks = 2000;
BENCHMARK(BM_TcpCheck)->Iterations(kChecks)->Unit(benchmark::kMicrosecond);

// The target of an HTTP run on the server; nothing when the server is not there.
std::optional<CheckTarget> HttpTarget(benchmark::State& state, bool tls) {
    WebServer& server = Server();
    const std::string error = !server.error.empty() ? server.error
                              : tls && server.tlsPort == 0
                                  ? "no TLS: " + test::TrustedTestCerts().Error()
                                  : "";
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
        return std::nullopt;
    }
    state.SetLabel(server.name);
    CheckTarget target;
    target.host = "127.0.0.1";
    target.port = tls ? server.tlsPort : server.port;
    target.path = server.path;
    target.tls = tls;
    return target;
}

void BM_HttpCheck(benchmark::State& state, bool withText) {
    if (auto target = HttpTarget(state, false)) {
        target->text = withText ? "needle" : "";
        RunChecks(state, *target);
    }
}
BENCHMARK_CAPTURE(BM_HttpCheck, status, false)->Iterations(kChecks)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_HttpCheck, status_and_text, true)
    ->Iterations(kChecks)
    ->Unit(benchmark::kMicrosecond);

// The handshake dominates: a full one each check, as the monitor makes them.
void BM_HttpsCheck(benchmark::State& state, TlsVerify verify) {
    if (auto target = HttpTarget(state, true)) {
        target->tlsPeer.verify = verify;
        target->hostHeader = "localhost";  // the certificate's name, for full
        RunChecks(state, *target);
    }
}
BENCHMARK_CAPTURE(BM_HttpsCheck, verify_none, TlsVerify::None)
    ->Iterations(kChecks)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_HttpsCheck, verify_full, TlsVerify::Full)
    ->Iterations(kChecks)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tolvane

BENCHMARK_MAIN();
