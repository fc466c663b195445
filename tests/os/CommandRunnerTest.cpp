#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "os/CommandRunner.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// Records pauses and repaints in one sequence. A pause takes a little real time, so a child
// gets the chance to end while the runner goes round.
class RecordingClock final : public Clock {
public:
    explicit RecordingClock(std::vector<std::string>& events) : events_(events) {}
    void Pause(std::uint32_t ms) override {
        events_.push_back("pause " + std::to_string(ms));
        std::this_thread::sleep_for(milliseconds(20));
    }
    std::time_t Now() override { return 0; }

private:
    std::vector<std::string>& events_;
};

class RecordingWindow final : public RepaintTarget {
public:
    explicit RecordingWindow(std::vector<std::string>& events) : events_(events) {}
    void Repaint() override { events_.push_back("repaint"); }

private:
    std::vector<std::string>& events_;
};

struct RunCase {
    const char* commandLine;
    bool result;
    bool starts;
};

const RunCase kRunCases[] = {
    {"true", true, true},
    {"false", false, true},
    {"sh -c \"exit 2\"", false, true},
    {"sh -c \"exit 0\"", true, true},
    {"sh -c \"sleep 0.2; exit 0\"", true, true},
    {"sh -c \"kill -KILL $$\"", false, true},
    {"no-such-program-tolvane /C net start w3svc", false, false},
    {"/no/such/folder/true", false, false},
    {"", false, false},
    // Standard input is empty: a question such as net's "(Y/N)" ends at once.
    {"sh -c \"read -r answer || exit 0; exit 1\"", true, true},
};

TEST(CommandRunner, ResultIsTrueOnlyForExitCodeZeroAndEveryPassRepaints) {
    for (const auto& c : kRunCases) {
        SCOPED_TRACE(c.commandLine);
        for (const bool withWindow : {true, false}) {
            std::vector<std::string> events;
            RecordingClock clock(events);
            RecordingWindow window(events);
            EXPECT_EQ(CommandRunner::Run(c.commandLine, withWindow ? &window : nullptr, clock)
                          .Succeeded(),
                      c.result);
            if (!c.starts) {
                EXPECT_TRUE(events.empty()) << "no pause for a program that cannot start";
                continue;
            }
            // One-second passes, each followed by one repaint when there is a window.
            ASSERT_FALSE(events.empty());
            const std::size_t step = withWindow ? 2 : 1;
            ASSERT_EQ(events.size() % step, 0u);
            for (std::size_t i = 0; i < events.size(); i += step) {
                EXPECT_EQ(events[i], "pause 1000");
                if (withWindow) {
                    EXPECT_EQ(events[i + 1], "repaint");
                }
            }
        }
    }
}

TEST(CommandRunner, QuickChildStillTakesOneSecond) {
    const auto start = steady_clock::now();
    EXPECT_TRUE(CommandRunner::Run("true", nullptr).Succeeded());
    const auto elapsed = steady_clock::now() - start;
    EXPECT_GE(elapsed, milliseconds(1000));
    EXPECT_LT(elapsed, milliseconds(30000));
}

TEST(CommandRunner, ReturnsAtLeastOneSecondAfterTheChildEnded) {
    const auto start = steady_clock::now();
    const CommandOutcome outcome = CommandRunner::Run("sh -c \"sleep 1; exit 2\"", nullptr);
    EXPECT_EQ(outcome.end, CommandEnd::Exited);
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_GE(steady_clock::now() - start, milliseconds(2000));
}

// A terminal's Ctrl-C goes to the monitor's process group; the command must not be in it.
TEST(CommandRunner, TheChildHeadsAProcessGroupOfItsOwn) {
    // Field 5 of /proc/PID/stat is the process group.
    EXPECT_TRUE(
        CommandRunner::Run(
            "sh -c \"read -r pid name state parent group rest </proc/$$/stat; test $group = $$\"",
            nullptr)
            .Succeeded());
}

// A command still running at the bound is ended, with everything it started, and the outcome
// says so; one that ends in time is not touched.
TEST(CommandRunner, ACommandStillRunningAtTheBoundIsEndedWithItsGroup) {
    test::TempDir dir;
    const std::string pidFile = dir.File("pid");
    const std::string line =
        "sh -c \"sleep 1000 & echo $! > '" + pidFile + "'; wait\"";
    const CommandOutcome ended = CommandRunner::Run(line, nullptr, RealClock(), 1500);
    EXPECT_EQ(ended.end, CommandEnd::EndedAtBound);
    EXPECT_GE(ended.durationMs, 1500u);
    const std::string pid = test::ReadFile(pidFile);
    ASSERT_FALSE(pid.empty());
    // The sleep started by the command is gone too (at most a zombie until it is collected).
    auto gone = [&] {
        const std::string stat = test::ReadFile("/proc/" + pid.substr(0, pid.find('\n')) + "/stat");
        const auto paren = stat.rfind(')');
        return stat.empty() || (paren != std::string::npos && stat.compare(paren, 4, ") Z ") == 0);
    };
    EXPECT_TRUE(test::WaitUntil(gone, std::chrono::seconds(10))) << "the command's sleep runs on";

    const CommandOutcome inTime =
        CommandRunner::Run("sh -c \"sleep 0.2; exit 3\"", nullptr, RealClock(), 60000);
    EXPECT_EQ(inTime.end, CommandEnd::Exited);
    EXPECT_EQ(inTime.exitCode, 3);
}

}  // namespace
}  // namespace tolvane
