// Figures of the monitoring engine: length of a successful tick against its minimum, peak
// memory of tolvanectl monitor, and the cost of the store and the log.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/ConsoleHost.h"
#include "bench/BenchSupport.h"
#include "monitor/MonitorCycle.h"
#include "os/Process.h"
#include "registry/Registry.h"
#include "settings/SettingsStore.h"

namespace tolvane {
namespace {

// One real tick on the real clock against a loopback listener, divided by the 1.65 s that its
// three pauses of 550 ms take at the least.
void BM_SuccessfulTick(benchmark::State& state) {
    bench::AcceptingListener listener;
    Settings settings;
    settings.Port = listener.Port();
    ConsoleHost host(stdout, false);
    CycleParts parts;
    parts.computerName = [] { return std::string("127.0.0.1"); };
    MonitorCycle cycle(settings, host, parts);
    double worst = 0;
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        cycle.OnTimer(CheckTimer);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
        worst = std::max(worst, took.count() / 1.65);
    }
    state.counters["worst_ratio_to_1.65s"] = worst;
}
BENCHMARK(BM_SuccessfulTick)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// tolvanectl monitor watching a healthy port with Interval 1 for a minute: its peak resident
// memory and its CPU time scaled to an hour.
void BM_TolvanectlMonitorMinute(benchmark::State& state) {
    bench::AcceptingListener listener;
    char folder[] = "/tmp/tolvane-bench-XXXXXX";
    ::mkdtemp(folder);
    ::setenv("TOLVANE_REGISTRY", (std::string(folder) + "/store.reg").c_str(), 1);
    long peak = 0;
    double cpuPerHour = 0;
    for (auto _ : state) {
        ChildProcess set;
        set.Start(std::vector<std::string>{std::string(TOLVANE_BIN_DIR) + "/tolvanectl", "set",
                                           "Port=" + std::to_string(listener.Port()),
                                           "Interval=1"});
        set.Wait();
        ChildProcess monitor;
        monitor.Start(std::vector<std::string>{
            "sh", "-c", "exec " + std::string(TOLVANE_BIN_DIR) + "/tolvanectl monitor >/dev/null"});
        std::this_thread::sleep_for(std::chrono::seconds(60));
        peak = std::max(peak, bench::ProcStatusKb(monitor.Pid(), "VmHWM"));
        cpuPerHour = bench::ProcessCpuSeconds(monitor.Pid()) * 60.0;
        ::kill(monitor.Pid(), SIGTERM);
        monitor.Wait();
    }
    state.counters["peak_rss_MB"] = static_cast<double>(peak) / 1024.0;
    state.counters["cpu_s_per_hour"] = cpuPerHour;
    std::system((std::string("rm -rf ") + folder).c_str());
}
BENCHMARK(BM_TolvanectlMonitorMinute)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_LoadSettings(benchmark::State& state) {
    char folder[] = "/tmp/tolvane-bench-XXXXXX";
    ::mkdtemp(folder);
    RegistryHive hive(std::string(folder) + "/store.reg");
    SettingsStore store(hive);
    Settings settings;
    store.LoadSettings(settings);
    for (auto _ : state) {
        store.LoadSettings(settings);
    }
    std::system((std::string("rm -rf ") + folder).c_str());
}
BENCHMARK(BM_LoadSettings)->Unit(benchmark::kMicrosecond);

void BM_SaveSettings(benchmark::State& state) {
    char folder[] = "/tmp/tolvane-bench-XXXXXX";
    ::mkdtemp(folder);
    RegistryHive hive(std::string(folder) + "/store.reg");
    SettingsStore store(hive);
    Settings settings;
    for (auto _ : state) {
        store.SaveSettings(settings);
    }
    std::system((std::string("rm -rf ") + folder).c_str());
}
BENCHMARK(BM_SaveSettings)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvane

BENCHMARK_MAIN();
