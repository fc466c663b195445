// Soak: tolvanectl monitor at Interval 1 for a long time against a web server that goes down
// and comes back every few seconds. Prints the restarts, how many restart-log lines are whole,
// and the monitor's resident memory and open descriptors at the start and at the end.
//
//   soak_bench [--soak_seconds=600] [--up_seconds=5] [--down_seconds=3] [benchmark flags]

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"
#include "monitor/MonitorTexts.h"
#include "os/Process.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;

long soakSeconds = 600;
long upSeconds = 5;
long downSeconds = 3;

// Listens on every local address (the probe goes to the machine's own name) for upSeconds,
// accepting and closing, then closes its socket for downSeconds, and again, on one port.
class FlappingListener {
public:
    FlappingListener() {
        thread_ = std::thread([this] { Run(); });
        while (port_ == 0 && !stop_) {
            std::this_thread::sleep_for(10ms);
        }
    }
    ~FlappingListener() {
        stop_ = true;
        thread_.join();
    }
    std::uint16_t Port() const { return port_; }

private:
    int Listen() {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        address.sin_port = htons(port_);
        socklen_t length = sizeof address;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(fd, 16) != 0) {
            ::close(fd);
            return -1;
        }
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        return fd;
    }

    void Run() {
        while (!stop_) {
            const int fd = Listen();
            const auto down = std::chrono::steady_clock::now() + std::chrono::seconds(upSeconds);
            while (fd >= 0 && !stop_ && std::chrono::steady_clock::now() < down) {
                pollfd waiting{fd, POLLIN, 0};
                if (::poll(&waiting, 1, 100) == 1) {
                    const int connection = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
                    if (connection >= 0) {
                        ::close(connection);
                    }
                }
            }
            if (fd >= 0) {
                ::close(fd);
            }
            for (long i = 0; i < downSeconds * 10 && !stop_; ++i) {
                std::this_thread::sleep_for(100ms);
            }
        }
    }

    std::atomic<std::uint16_t> port_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

long OpenDescriptors(pid_t pid) {
    DIR* folder = ::opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (folder == nullptr) {
        return -1;
    }
    long count = 0;
    while (const dirent* entry = ::readdir(folder)) {
        count += entry->d_name[0] != '.' ? 1 : 0;
    }
    ::closedir(folder);
    return count;
}

struct LogFigures {
    long lines = 0;
    long whole = 0;
    long restartsBegun = 0;
    long restartsEnded = 0;
};

// A whole line: "YYYY/MM/DD HH:MM:SS", TAB, a text without CR or LF, CR LF.
bool IsWholeLine(const std::string& line) {
    static constexpr char kPattern[] = "dddd/dd/dd dd:dd:dd\t";
    if (line.size() <= std::strlen(kPattern)) {
        return false;
    }
    for (std::size_t i = 0; kPattern[i] != '\0'; ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if (kPattern[i] == 'd' ? !digit : line[i] != kPattern[i]) {
            return false;
        }
    }
    return line.find_first_of("\r\n") == std::string::npos;
}

LogFigures CheckLog(const std::string& log) {
    LogFigures figures;
    for (std::size_t at = 0; at < log.size();) {
        auto end = log.find("\r\n", at);
        const bool ended = end != std::string::npos;
        end = ended ? end : log.size();
        const std::string line = log.substr(at, end - at);
        ++figures.lines;
        if (ended && IsWholeLine(line)) {
            ++figures.whole;
            const std::string text = line.substr(20);
            figures.restartsBegun += text == texts::RestartBegins() ? 1 : 0;
            figures.restartsEnded += text == texts::Restarted() ? 1 : 0;
        }
        at = end + 2;
    }
    return figures;
}

void BM_Soak(benchmark::State& state) {
    test::PrivateInstall install(TOLVANE_BIN_DIR,
                                 {"tolvanectl", "command.com", "net", "mtxstop", "CSCRIPT.EXE"});
    ::unsetenv("TOLVANE_SERVICES");
    std::string map = "mtxstop = true\n";
    for (const char* name : {"w3svc", "iisadmin", "msdtc", "msftpsvc", "smtpsvc", "nntpsvc"}) {
        map += std::string(name) + ".start = true\n" + name + ".stop = true\n";
    }
    test::WriteFile(install.dir.File("services.conf"), map);
    FlappingListener listener;
    install.Run({"set", "Port=" + std::to_string(listener.Port()), "Interval=1", "CheckMsdtc=1",
                 "CheckNntpSvc=1"});

    long rssStart = 0, rssEnd = 0, fdsStart = 0, fdsEnd = 0;
    bool runningAtEnd = false;
    int exitCode = -1;
    for (auto _ : state) {
        // A session of its own, so that no hang-up of the terminal that started the soak ends it.
        ChildProcess monitor;
        monitor.Start(std::vector<std::string>{
            "sh", "-c",
            "exec setsid " + test::ShellQuote(install.Bin("tolvanectl")) +
                " monitor >/dev/null 2>" + test::ShellQuote(install.dir.File("monitor.err"))});
        std::this_thread::sleep_for(5s);
        rssStart = bench::ProcStatusKb(monitor.Pid(), "VmRSS");
        fdsStart = OpenDescriptors(monitor.Pid());
        std::this_thread::sleep_for(std::chrono::seconds(soakSeconds > 5 ? soakSeconds - 5 : 0));
        rssEnd = bench::ProcStatusKb(monitor.Pid(), "VmRSS");
        fdsEnd = OpenDescriptors(monitor.Pid());
        runningAtEnd = monitor.Poll().running;
        ::kill(monitor.Pid(), SIGTERM);
        exitCode = monitor.Wait().exitCode;
    }
    const LogFigures log = CheckLog(test::ReadFile(install.LogPath()));
    state.counters["restarts_begun"] = static_cast<double>(log.restartsBegun);
    state.counters["restarts_ended"] = static_cast<double>(log.restartsEnded);
    state.counters["log_lines"] = static_cast<double>(log.lines);
    state.counters["log_lines_whole"] = static_cast<double>(log.whole);
    state.counters["rss_kB_start"] = static_cast<double>(rssStart);
    state.counters["rss_kB_end"] = static_cast<double>(rssEnd);
    state.counters["fds_start"] = static_cast<double>(fdsStart);
    state.counters["fds_end"] = static_cast<double>(fdsEnd);
    state.counters["running_at_end"] = runningAtEnd ? 1 : 0;
    state.counters["exit_code"] = exitCode;
    const std::string errors = test::ReadFile(install.dir.File("monitor.err"));
    if (!errors.empty()) {
        state.SetLabel("monitor stderr: " + errors.substr(0, 200));
    }
}
BENCHMARK(BM_Soak)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Takes the soak's own flags out of the arguments before Google Benchmark reads them.
void TakeFlags(int& argc, char** argv) {
    const struct {
        const char* prefix;
        long* value;
    } flags[] = {{"--soak_seconds=", &soakSeconds},
                 {"--up_seconds=", &upSeconds},
                 {"--down_seconds=", &downSeconds}};
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        bool taken = false;
        for (const auto& flag : flags) {
            if (std::strncmp(argv[i], flag.prefix, std::strlen(flag.prefix)) == 0) {
                *flag.value = std::atol(argv[i] + std::strlen(flag.prefix));
                taken = true;
            }
        }
        if (!taken) {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
}

}  // namespace
}  // namespace tolvane

int main(int argc, char** argv) {
    tolvane::TakeFlags(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
