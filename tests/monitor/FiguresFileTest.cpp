// The figures file as the textfile collectors read it: its form, and that a reader never sees
// a part of it while checks go on.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "monitor/CycleFigures.h"
#include "os/File.h"
#include "tests/monitor/ScriptedCycle.h"

namespace tolvane {
namespace {

std::size_t LineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// The whole file: its first family's help at the start, the version's sample at the end, and
// as many lines as a file of that kind has.
bool Whole(const std::string& text, std::size_t lines) {
    const std::string last = "tolvane_build_info{version=\"" TOLVANE_VERSION "\"} 1\n";
    return text.rfind("# HELP tolvane_check_success ", 0) == 0 && text.size() > last.size() &&
           text.compare(text.size() - last.size(), last.size(), last) == 0 &&
           LineCount(text) == lines;
}

TEST(FiguresFile, IsWrittenAfterEveryCheckInTheTextFormat) {
    test::ScriptedCycle run{Settings()};
    EXPECT_FALSE(FileExists(run.FiguresPath())) << "nothing before the first check";
    run.Tick('.');
    const std::string text = test::ReadFile(run.FiguresPath());
    EXPECT_TRUE(Whole(text, LineCount(FiguresText(CycleFigures{})))) << text;
    EXPECT_EQ(text.find('\r'), std::string::npos);
    // Every line a HELP, a TYPE or a sample of a name and a value: no time stamps.
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.rfind("# HELP tolvane_", 0) == 0 || line.rfind("# TYPE tolvane_", 0) == 0) {
            continue;
        }
        EXPECT_EQ(line.rfind("tolvane_", 0), 0u) << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), ' '), 1) << line;
    }
    // A TCP check has no HTTP status.
    EXPECT_EQ(text.find("tolvane_check_http_status"), std::string::npos);
    // Nothing left beside it.
    std::size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(run.dir.Path())) {
        EXPECT_TRUE(entry.path().filename() == "tolvane.prom" ||
                    entry.path().filename() == "TOLVREBOOT.LOG")
            << entry.path();
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
}

TEST(FiguresFile, AReaderNeverSeesAPartOfIt) {
    Settings settings;
    settings.FailureThreshold = 100;  // the failures count up, so the file changes every check
    test::ScriptedCycle run(settings);
    run.Tick('.');
    const std::size_t lines = LineCount(FiguresText(CycleFigures{}));
    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::atomic<int> partial{0};
    std::string torn;  // the first part seen
    std::thread reader([&] {
        while (!done) {
            std::string text;
            if (!ReadWholeFile(run.FiguresPath(), text)) {
                continue;
            }
            ++reads;
            if (!Whole(text, lines) && partial++ == 0) {
                torn = text;
            }
        }
    });
    for (int i = 1; i <= 3000; ++i) {
        run.Tick(i % 100 == 0 ? '.' : 'F');
    }
    done = true;
    reader.join();
    EXPECT_EQ(partial.load(), 0) << "first seen:\n" << torn;
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(run.Cycle().Figures().consecutiveFailures, 0u);
}

}  // namespace
}  // namespace tolvane
