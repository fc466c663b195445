// Figures of the monitoring engine: length of a successful tick against its minimum, peak
// memory of tolvanectl monitor, and the cost of the store and the log.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

#include "monitor/MonitorCycle.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "settings/SettingsStore.h"

namespace tolvane {
namespace {

// A listener on 127.0.0.1 that accepts and closes connections on its own thread.
class Listener {
public:
    Listener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(fd_, 16);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([fd = fd_] {
            while (true) {
                const int connection = ::accept(fd, nullptr, nullptr);
                if (connection < 0) {
                    return;
                }
                ::close(connection);
            }
        });
    }
    ~Listener() {
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
    }
    std::uint16_t Port() const { return port_; }

private:
    int fd_;
    std::uint16_t port_;
    std::thread thread_;
};

class QuietHost final : public MonitorHost {
public:
    bool ReadControls() override { return true; }
    void ShowStatus() override {}
    void RefreshControls() override {}
    void FocusWindow() override {}
    void HideWindow() override {}
    void Repaint() override {}
    void ArmTimer(int, std::uint32_t) override {}
    void KillTimer(int) override {}
};

// One real tick on the real clock against a loopback listener, divided by its specified
// minimum of 1.65 s (three pauses of 550 ms).
void BM_SuccessfulTick(benchmark::State& state) {
    Listener listener;
    Settings settings;
    settings.Port = listener.Port();
    QuietHost host;
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

long ReadStatusKb(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::atol(line.c_str() + field.size() + 1);
        }
    }
    return -1;
}

// CPU seconds (user + system) that the process has used so far.
double CpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15) {
            ticks += std::atol(field.c_str());
        }
    }
    return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// tolvanectl monitor watching a healthy port with Interval 1 for a minute: its peak resident
// memory and its CPU time scaled to an hour.
void BM_TolvanectlMonitorMinute(benchmark::State& state) {
    Listener listener;
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
        peak = std::max(peak, ReadStatusKb(monitor.Pid(), "VmHWM"));
        cpuPerHour = CpuSeconds(monitor.Pid()) * 60.0;
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
