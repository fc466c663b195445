#include "monitor/CycleFigures.h"

#include "os/FileReplace.h"

namespace tolvane {

namespace {

void Family(std::string& text, const char* name, const char* type, const char* help) {
    text += std::string("# HELP ") + name + " " + help + "\n";
    text += std::string("# TYPE ") + name + " " + type + "\n";
}

void Sample(std::string& text, const std::string& name, const std::string& value) {
    text += name + " " + value + "\n";
}

// Milliseconds as seconds with three decimals, whatever the locale's decimal point.
std::string Seconds(std::uint32_t ms) {
    std::string fraction = std::to_string(ms % 1000);
    fraction.insert(0, 3 - fraction.size(), '0');
    return std::to_string(ms / 1000) + "." + fraction;
}

std::string Flag(bool on) {
    return on ? "1" : "0";
}

}  // namespace

std::string FiguresText(const CycleFigures& f) {
    std::string text;
    Family(text, "tolvane_check_success", "gauge",
           "Whether the last check of the web server succeeded (1) or failed (0).");
    Sample(text, "tolvane_check_success", Flag(f.checkSucceeded));
    Family(text, "tolvane_check_duration_seconds", "gauge", "How long the last check took.");
    Sample(text, "tolvane_check_duration_seconds", Seconds(f.checkDurationMs));
    if (f.http) {
        Family(text, "tolvane_check_http_status", "gauge",
               "The HTTP status of the last check; 0 when none was read.");
        Sample(text, "tolvane_check_http_status", std::to_string(f.httpStatus));
    }
    Family(text, "tolvane_consecutive_failures", "gauge",
           "Failed checks since the last success or restart.");
    Sample(text, "tolvane_consecutive_failures", std::to_string(f.consecutiveFailures));
    Family(text, "tolvane_restarts_total", "counter", "Restarts begun since the monitor started.");
    Sample(text, "tolvane_restarts_total", std::to_string(f.restarts));
    Family(text, "tolvane_restart_command_failures_total", "counter",
           "Restart commands that did not succeed since the monitor started.");
    Sample(text, "tolvane_restart_command_failures_total", std::to_string(f.commandFailures));
    Family(text, "tolvane_last_restart_timestamp_seconds", "gauge",
           "When the last restart began, in seconds since 1970; 0 when none has.");
    Sample(text, "tolvane_last_restart_timestamp_seconds",
           std::to_string(static_cast<long long>(f.lastRestart)));
    Family(text, "tolvane_restart_limit_reached", "gauge",
           "Whether the restart limit stops restarts until the server answers again.");
    Sample(text, "tolvane_restart_limit_reached", Flag(f.limitReached));
    Family(text, "tolvane_mails_total", "counter",
           "Notification mails since the monitor started, by result.");
    Sample(text, "tolvane_mails_total{result=\"sent\"}", std::to_string(f.mailsSent));
    Sample(text, "tolvane_mails_total{result=\"failed\"}", std::to_string(f.mailsFailed));
    Family(text, "tolvane_build_info", "gauge", "The monitor's version.");
    Sample(text, "tolvane_build_info{version=\"" TOLVANE_VERSION "\"}", "1");
    return text;
}

bool WriteFigures(const std::string& path, const CycleFigures& figures) {
    return ReplaceFileAtomically(path, FiguresText(figures));
}

}  // namespace tolvane
