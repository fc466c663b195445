#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "os/Clock.h"

namespace tolvane {

// "TOLVREBOOT.LOG" beside the executable: one line per call, "time TAB text CR LF", the text
// written byte for byte (CP932) with every LF stored as CR LF. Failures lose the line quietly,
// but for one: another program (an editor, a backup) holding the log open without sharing it
// for writing. The line is tried again for up to a second, and then its loss is reported.
class RestartLog {
public:
    // The log in the executable's own folder.
    explicit RestartLog(Clock& clock);
    // The log in the given folder (with its trailing "/"); empty means the current folder.
    RestartLog(Clock& clock, std::string directory);

    void Append(const std::string& text);

    // Told the report of a line lost to another program's open, "TOLVREBOOT.LOG に書き込めません
    // でした: " and the line's text (CP932). By default it goes to standard error.
    using LossReport = std::function<void(const std::string& reportCp932)>;
    void SetLossReport(LossReport report) { lossReport_ = std::move(report); }

    // Told each line as it is written ("time TAB text", CP932, without the CR LF), whether
    // or not the file took it: a console shows the log as it grows.
    using LineObserver = std::function<void(const std::string& lineCp932)>;
    void SetLineObserver(LineObserver observer) { lineObserver_ = std::move(observer); }

    // How long a locked log is tried again, and how often.
    static constexpr std::uint32_t kLockedPatienceMs = 1000;
    static constexpr std::uint32_t kLockedRetryMs = 50;

    const std::string& Path() const { return path_; }

    // The executable's real path cut after its last "/", the "/" kept; empty without one.
    static std::string ModuleDirectory();

    static constexpr const char* kFileName = "TOLVREBOOT.LOG";

private:
    Clock& clock_;
    std::string path_;
    LossReport lossReport_;
    LineObserver lineObserver_;
};

// The log as a terminal may show it. The file's bytes stay as they are; what reaches the
// terminal holds no control byte but the TAB after each time stamp, and LF line ends, which
// terminals and scripts expect.
std::string PrintableLog(std::string_view contents);

}  // namespace tolvane
