// What one check costs the checking thread in CPU time: the plain TCP connect beside the HTTP
// check against a local web server (Debian's nginx-light when installed, else the tests' raw
// peer), and that cost over an hour of checks once a second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "bench/BenchSupport.h"
#include "monitor/HttpCheck.h"
#include "tests/support/HttpPeer.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

// The web server of every HTTP run: nginx serving a small page, or the peer's "/ok".
struct WebServer {
    WebServer() {
        if (test::NginxServer::Installed()) {
            nginx = std::make_unique<test::NginxServer>();
            test::WriteFile(nginx->Page("index.html"),
                            "<html><body><h1>IIS Tolvane</h1><p>all well: needle</p></body></html>\n");
            error = nginx->Start();
            port = nginx->Port();
            path = "/";
            name = "nginx";
        } else {
            peer = std::make_unique<test::HttpPeer>();
            error = peer->Error();
            port = peer->Port();
            path = "/ok";
            name = "http_peer.py";
        }
    }
    std::unique_ptr<test::NginxServer> nginx;
    std::unique_ptr<test::HttpPeer> peer;
    std::string error;
    std::uint16_t port = 0;
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

void BM_HttpCheck(benchmark::State& state, bool withText) {
    WebServer& server = Server();
    if (!server.error.empty()) {
        state.SkipWithError(server.error.c_str());
        return;
    }
    state.SetLabel(server.name);
    CheckTarget target;
    target.host = "127.0.0.1";
    target.port = server.port;
    target.path = server.path;
    target.text = withText ? "needle" : "";
    RunChecks(state, target);
}
BENCHMARK_CAPTURE(BM_HttpCheck, status, false)->Iterations(kChecks)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_HttpCheck, status_and_text, true)
    ->Iterations(kChecks)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tolvane

BENCHMARK_MAIN();
