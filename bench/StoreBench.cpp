// Figures of the settings store: tolvanectl settings and set as whole processes on a normal
// store and on one that holds many foreign values, and the parse alone on large files.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "os/Process.h"
#include "registry/RegHiveData.h"
#include "registry/Registry.h"

namespace tolvane {
namespace {

// A hive file with our key, complete, and `foreign` further values in another key, each a
// text of about `textBytes` bytes.
std::string HiveText(long foreign, std::size_t textBytes) {
    RegHiveData hive;
    RegKeyData& other = hive.AddKey("Other\\Application\\Values");
    other.values.reserve(static_cast<std::size_t>(foreign));
    const std::string text(textBytes, 'x');
    for (long i = 0; i < foreign; ++i) {
        other.values.push_back(RegValue{"Value" + std::to_string(i), RegText, text + '\0'});
    }
    return hive.Format();
}

// A private store holding the given foreign values, made complete by one set.
class BenchStore {
public:
    explicit BenchStore(long foreign) {
        char folder[] = "/tmp/tolvane-bench-XXXXXX";
        folder_ = ::mkdtemp(folder);
        const std::string path = folder_ + "/store.reg";
        std::ofstream(path, std::ios::binary) << HiveText(foreign, 20);
        ::setenv("TOLVANE_REGISTRY", path.c_str(), 1);
        Run({"set", "Port=81"});
    }
    ~BenchStore() { std::system(("rm -rf " + folder_).c_str()); }

    static int Run(const std::vector<std::string>& args) {
        std::string line = "exec " + std::string(TOLVANE_BIN_DIR) + "/tolvanectl";
        for (const auto& arg : args) {
            line += " " + arg;
        }
        ChildProcess child;
        child.Start(std::vector<std::string>{"sh", "-c", line + " >/dev/null"});
        return child.Wait().exitCode;
    }

private:
    std::string folder_;
};

void BM_TolvanectlSettings(benchmark::State& state) {
    BenchStore store(state.range(0));
    for (auto _ : state) {
        BenchStore::Run({"settings"});
    }
}
BENCHMARK(BM_TolvanectlSettings)
    ->ArgName("foreign")
    ->Arg(0)
    ->Arg(40000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_TolvanectlSet(benchmark::State& state) {
    BenchStore store(state.range(0));
    int port = 0;
    for (auto _ : state) {
        BenchStore::Run({"set", "Port=" + std::to_string(1000 + (port++ % 1000))});
    }
}
BENCHMARK(BM_TolvanectlSet)
    ->ArgName("foreign")
    ->Arg(0)
    ->Arg(40000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The parse alone: 40,000 short values, and about 50 MB of them.
void BM_ParseHive(benchmark::State& state) {
    const std::string text = HiveText(state.range(0), 80);
    for (auto _ : state) {
        RegHiveData hive;
        benchmark::DoNotOptimize(RegHiveData::Parse(text, hive));
    }
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_ParseHive)->ArgName("values")->Arg(40000)->Arg(500000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvane

BENCHMARK_MAIN();
