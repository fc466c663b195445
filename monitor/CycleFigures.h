#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace tolvane {

// What the monitor has seen since it started, as the figures file reports it.
struct CycleFigures {
    bool checkSucceeded = false;
    std::uint32_t checkDurationMs = 0;
    bool http = false;             // the check is an HTTP check
    std::uint32_t httpStatus = 0;  // 0 when no status line was read
    std::uint32_t consecutiveFailures = 0;
    std::uint64_t restarts = 0;
    std::uint64_t commandFailures = 0;
    std::time_t lastRestart = 0;  // 0: none yet
    bool limitReached = false;
    std::uint64_t mailsSent = 0;
    std::uint64_t mailsFailed = 0;
};

// The figures in the Prometheus text format for the textfile collectors: UTF-8, LF, a final
// newline, HELP and TYPE for each, no time stamps.
std::string FiguresText(const CycleFigures& figures);

// Writes them to the file in one step; false when it could not be written.
bool WriteFigures(const std::string& path, const CycleFigures& figures);

}  // namespace tolvane
