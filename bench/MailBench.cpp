// Figures of the mail subsystem, printed and never asserted:
// - one complete send to the local aiosmtpd server, beside Python's smtplib sending the same
//   message to the same server in the same run (ratio; goal at most 1.0);
// - convert throughput of JisEncoder beside glibc iconv on the same 1 MB text (ratio; goal at
//   least 1.0).
#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "mail/JisEncoder.h"
#include "mail/SendNotificationMail.h"
#include "os/CodePage.h"
#include "os/Process.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// aiosmtpd on a free loopback port, for the whole run.
class Sink {
public:
    Sink() {
        char folder[] = "/tmp/tolvane-mail-bench-XXXXXX";
        dir_ = ::mkdtemp(folder);
        const std::string portFile = dir_ + "/port";
        server_.Start(std::vector<std::string>{
            "/usr/bin/python3", TOLVANE_MAIL_TEST_DIR "/smtp_sink.py", dir_, portFile});
        for (int i = 0; i < 300 && ReadAll(portFile).empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        port_ = std::atoi(ReadAll(portFile).c_str());
    }
    ~Sink() {
        if (server_.Started()) {
            ::kill(server_.Pid(), SIGTERM);
            server_.Wait();
        }
        fs::remove_all(dir_);
    }
    int Port() const { return port_; }
    const std::string& Dir() const { return dir_; }

private:
    std::string dir_;
    ChildProcess server_;
    int port_ = 0;
};

Sink& TheSink() {
    static Sink sink;
    return sink;
}

const std::string kFrom = "watchdog@example.com";
const std::string kTo = "admin@example.com;ops@example.com";

const std::string& Subject() {
    static const std::string text = Sjis("IIS 再起動のお知らせ");
    return text;
}

const std::string& Body() {
    static const std::string text = [] {
        std::string body;
        for (int i = 0; i < 20; ++i) {
            body += Sjis(
                "サーバーが応答しなかったため、IIS を再起動しました。ログを確認して下さい。\r\n");
        }
        return body;
    }();
    return text;
}

double ourSecondsPerSend = 0;
double pythonSecondsPerSend = 0;
double ourConvertSeconds = 0;
double iconvConvertSeconds = 0;

void BM_SendNotificationMail(benchmark::State& state) {
    if (TheSink().Port() == 0) {
        state.SkipWithError("aiosmtpd did not start (python3-aiosmtpd missing?)");
        return;
    }
    for (auto _ : state) {
        std::string reason;
        if (SendNotificationMail(kFrom, kTo, Subject(), Body(), "127.0.0.1",
                                 static_cast<std::uint32_t>(TheSink().Port()), reason) != 1) {
            state.SkipWithError("the send failed");
            return;
        }
    }
}
BENCHMARK(BM_SendNotificationMail)->Unit(benchmark::kMillisecond)->Iterations(200);

// Python's smtplib sends the message as the server received it from us, to the same server,
// timing itself so that the interpreter's start does not count.
void BM_PythonSmtplib(benchmark::State& state) {
    const std::string raw = TheSink().Dir() + "/1.raw";
    if (TheSink().Port() == 0 || !fs::exists(raw)) {
        state.SkipWithError("run BM_SendNotificationMail first");
        return;
    }
    const std::string script =
        "import smtplib, sys, time\n"
        "port, count, path = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]\n"
        "message = open(path, 'rb').read()\n"
        "start = time.perf_counter()\n"
        "for _ in range(count):\n"
        "    with smtplib.SMTP('127.0.0.1', port) as s:\n"
        "        s.sendmail('watchdog@example.com', ['admin@example.com', 'ops@example.com'], "
        "message)\n"
        "print((time.perf_counter() - start) / count)\n";
    const std::string out = TheSink().Dir() + "/python.out";
    for (auto _ : state) {
        const std::string line = "/usr/bin/python3 -c \"$0\" " + std::to_string(TheSink().Port()) +
                                 " 200 " + raw + " > " + out;
        ChildProcess child;
        child.Start(std::vector<std::string>{"sh", "-c", line, script});
        child.Wait();
        pythonSecondsPerSend = std::atof(ReadAll(out).c_str());
        state.SetIterationTime(pythonSecondsPerSend);
    }
}
BENCHMARK(BM_PythonSmtplib)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

const std::string& OneMegabyte() {
    static const std::string text = [] {
        const std::string line =
            Sjis("監視対象のウェブサーバーに接続できませんでした。 Restarting w3svc now.\r\n");
        std::string all;
        while (all.size() < (1u << 20)) {
            all += line;
        }
        return all;
    }();
    return text;
}

void BM_JisEncoderConvert(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(JisEncoder::Convert(OneMegabyte()));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * OneMegabyte().size()));
}
BENCHMARK(BM_JisEncoderConvert)->Unit(benchmark::kMillisecond);

void BM_IconvConvert(benchmark::State& state) {
    for (auto _ : state) {
        std::string out;
        ConvertCharset(OneMegabyte(), "CP932", "ISO-2022-JP", out);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * OneMegabyte().size()));
}
BENCHMARK(BM_IconvConvert)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's mean time per iteration for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            const double seconds =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            const std::string name = run.benchmark_name();
            if (name.rfind("BM_SendNotificationMail", 0) == 0) {
                ourSecondsPerSend = seconds;
            } else if (name.rfind("BM_JisEncoderConvert", 0) == 0) {
                ourConvertSeconds = seconds;
            } else if (name.rfind("BM_IconvConvert", 0) == 0) {
                iconvConvertSeconds = seconds;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace
}  // namespace tolvane

int main(int argc, char** argv) {
    using namespace tolvane;
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (ourSecondsPerSend > 0 && pythonSecondsPerSend > 0) {
        std::printf("one send: %.3f ms, smtplib %.3f ms, ratio %.2f (goal at most 1.0)\n",
                    ourSecondsPerSend * 1e3, pythonSecondsPerSend * 1e3,
                    ourSecondsPerSend / pythonSecondsPerSend);
    }
    if (ourConvertSeconds > 0 && iconvConvertSeconds > 0) {
        std::printf(
            "convert 1 MB: %.3f ms, iconv %.3f ms, throughput ratio %.2f (goal at least 1.0)\n",
            ourConvertSeconds * 1e3, iconvConvertSeconds * 1e3,
            iconvConvertSeconds / ourConvertSeconds);
    }
    benchmark::Shutdown();
    return 0;
}
