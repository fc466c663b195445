// CPU time of the whole `tolvanectl monitor` at Interval 1 for a while (60 s unless given),
// scaled to an hour: once with the plain TCP check, once with the HTTP check against a local
// nginx, and their ratio. Printed, never asserted. Each run has a settings store of its own and
// a marker of its own, so a monitor running on the machine is neither met nor disturbed.
// Run by hand: build/bin/monitor_check_bench [SECONDS]
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"
#include "os/Process.h"
#include "tests/support/NginxServer.h"
#include "tests/support/PosixSupport.h"
#include "tests/support/TestSupport.h"

using namespace tolvane;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// The monitor's first ticks and its start-up are left out of the figure.
constexpr auto kWarmUp = 3s;

std::string Tolvanectl() {
    return std::string(TOLVANE_BIN_DIR) + "/tolvanectl";
}

// A shell line running tolvanectl with the store and marker of the run.
std::string Line(const test::TempDir& dir, const std::string& args) {
    return "TOLVANE_REGISTRY=" + test::ShellQuote(dir.File("store.reg")) +
           " TOLVANE_TEST_INSTANCE=bench." + std::to_string(::getpid()) + " exec " +
           test::ShellQuote(Tolvanectl()) + " " + args;
}

int Run(const test::TempDir& dir, const std::string& args) {
    ChildProcess child;
    if (!child.Start(std::vector<std::string>{"sh", "-c", Line(dir, args)})) {
        return -1;
    }
    return child.Wait().exitCode;
}

// CPU seconds an hour of the monitor with the settings given; negative when the run failed,
// having said why.
double MonitorCpuPerHour(const std::string& what, const std::string& settings, int seconds) {
    test::TempDir dir;
    if (Run(dir, "set Interval=1 " + settings + " >/dev/null") != 0 ||
        Run(dir, "probe >/dev/null") != 0) {
        std::fprintf(stderr, "%s: the check does not succeed with %s\n", what.c_str(),
                     settings.c_str());
        return -1;
    }
    ChildProcess monitor;
    // From its own folder, so that a log it might write stays there.
    monitor.Start(std::vector<std::string>{
        "sh", "-c", "cd " + test::ShellQuote(dir.Path()) + " && " + Line(dir, "monitor") +
                        " >monitor.out 2>monitor.err"});
    std::this_thread::sleep_for(kWarmUp);
    const double cpuBefore = bench::ProcessCpuSeconds(monitor.Pid());
    const auto begin = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpuAfter = bench::ProcessCpuSeconds(monitor.Pid());
    const std::chrono::duration<double> took = Clock::now() - begin;
    const bool ran = monitor.Poll().running;
    ::kill(monitor.Pid(), SIGTERM);
    monitor.Wait();
    const bool stillSucceeds = Run(dir, "probe >/dev/null") == 0;
    if (!ran || cpuBefore < 0 || cpuAfter < 0 || !stillSucceeds) {
        std::fprintf(stderr, "%s: the monitor did not run through with succeeding checks: %s\n",
                     what.c_str(), test::ReadFile(dir.File("monitor.err")).c_str());
        return -1;
    }
    return (cpuAfter - cpuBefore) * 3600.0 / took.count();
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    if (seconds < 1) {
        std::fprintf(stderr, "usage: monitor_check_bench [SECONDS]\n");
        return 2;
    }
    // Both servers listen where the machine's name leads, as the monitor probes that name.
    const test::MachineName machine = test::OwnMachineName();
    if (!machine.address) {
        std::fprintf(stderr, "%s\n", machine.Need().c_str());
        return 1;
    }
    if (!test::NginxServer::Installed()) {
        std::fprintf(stderr, "%s is missing (Debian's nginx-light)\n", test::NginxServer::kProgram);
        return 1;
    }
    test::NginxServer nginx(*machine.address);
    test::WriteFile(nginx.Page("index.html"),
                    "<html><body><h1>IIS Tolvane</h1><p>all well</p></body></html>\n");
    if (const std::string error = nginx.Start(); !error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    bench::AcceptingListener listener;

    std::printf("tolvanectl monitor, Interval=1, %d s each, CPU (user + system) per hour:\n",
                seconds);
    std::fflush(stdout);
    const double tcp = MonitorCpuPerHour(
        "TCP", "Port=" + std::to_string(listener.Port()) + " CheckPath=", seconds);
    if (tcp >= 0) {
        std::printf("  TCP check:             %.3f s/h\n", tcp);
        std::fflush(stdout);
    }
    const double http =
        MonitorCpuPerHour("HTTP", "Port=" + std::to_string(nginx.Port()) + " CheckPath=/", seconds);
    if (http >= 0) {
        std::printf("  HTTP check (nginx /):  %.3f s/h\n", http);
    }
    if (tcp <= 0 || http < 0) {
        return 1;
    }
    std::printf("  HTTP / TCP:            %.2f\n", http / tcp);
    return 0;
}
