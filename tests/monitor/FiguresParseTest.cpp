// The figures file read by the Prometheus client's own parser (Debian's python3-prometheus-client)
// after each kind of event: a success, a failure short of the threshold, a restart whose commands
// and mail fail, the restart limit, and the recovery.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/monitor/ScriptedCycle.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

// What the parser understood, one line per family and per sample.
std::string Parsed(const std::string& path) {
    const std::string command = "/usr/bin/python3 " + test::ShellQuote(TOLVANE_PARSE_FIGURES) +
                                " " + test::ShellQuote(path) + " 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return "cannot run the parser";
    }
    std::string out;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
        out.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    return status == 0 ? out : "the parser failed: " + out;
}

struct Figures {
    int success, httpStatus, failures, restarts, commandFailures;
    long long lastRestart;
    int limit, mailsSent, mailsFailed;
};

// The parser's view of a file holding these figures, in the file's order.
std::string Expected(const Figures& f) {
    auto value = [](long long v) { return std::to_string(v) + ".0"; };
    return "# tolvane_check_success gauge\ntolvane_check_success{} " + value(f.success) +
           "\n# tolvane_check_duration_seconds gauge\ntolvane_check_duration_seconds{} 1.234\n"
           "# tolvane_check_http_status gauge\ntolvane_check_http_status{} " +
           value(f.httpStatus) +
           "\n# tolvane_consecutive_failures gauge\ntolvane_consecutive_failures{} " +
           value(f.failures) + "\n# tolvane_restarts counter\ntolvane_restarts_total{} " +
           value(f.restarts) +
           "\n# tolvane_restart_command_failures counter\n"
           "tolvane_restart_command_failures_total{} " +
           value(f.commandFailures) +
           "\n# tolvane_last_restart_timestamp_seconds gauge\n"
           "tolvane_last_restart_timestamp_seconds{} " +
           value(f.lastRestart) +
           "\n# tolvane_restart_limit_reached gauge\ntolvane_restart_limit_reached{} " +
           value(f.limit) + "\n# tolvane_mails counter\ntolvane_mails_total{result=\"sent\"} " +
           value(f.mailsSent) + "\ntolvane_mails_total{result=\"failed\"} " +
           value(f.mailsFailed) +
           "\n# tolvane_build_info gauge\ntolvane_build_info{version=\"" TOLVANE_VERSION
           "\"} 1.0\n";
}

TEST(FiguresParse, EachKindOfEventReadsBackAsWritten) {
    Settings settings;
    settings.CheckPath = "/health";
    settings.FailureThreshold = 2;
    settings.RestartLimit = 1;
    settings.WithMail = 1;
    settings.MailOnRecovery = 1;
    test::ScriptedCycle run(settings);
    // Ticks come a minute apart; the third check (at 182 s) restarts.
    const long long restartAt = test::ScriptedCycle::kEpoch + 182;
    struct Step {
        const char* event;
        char answer;
        int commandExitCode, mailResult;
        Figures figures;
    };
    const Step steps[] = {
        {"success", '.', 0, 1, {1, 200, 0, 0, 0, 0, 0, 0, 0}},
        {"failure short of the threshold", 'F', 0, 1, {0, 503, 1, 0, 0, 0, 0, 0, 0}},
        {"restart, every command and the mail failing", 'F', 2, 0,
         {0, 503, 0, 1, 4, restartAt, 0, 0, 1}},
        {"failure after the restart", 'F', 0, 1, {0, 503, 1, 1, 4, restartAt, 0, 0, 1}},
        {"the limit stops the next restart, with a mail", 'F', 0, 1,
         {0, 503, 2, 1, 4, restartAt, 1, 1, 1}},
        {"recovery, with a mail", '.', 0, 1, {1, 200, 0, 1, 4, restartAt, 0, 2, 1}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.event);
        run.commandExitCode = step.commandExitCode;
        run.mailResult = step.mailResult;
        run.Tick(step.answer);
        EXPECT_EQ(Parsed(run.FiguresPath()), Expected(step.figures));
    }
}

}  // namespace
}  // namespace tolvane
