#pragma once

#include <string>
#include <string_view>

#include "os/Clock.h"

namespace tolvane {

// "TOLVREBOOT.LOG" beside the executable: one line per call, "time TAB text CR LF", the text
// written byte for byte (CP932) with every LF stored as CR LF. Failures lose the line quietly.
class RestartLog {
public:
    // The log in the executable's own folder.
    explicit RestartLog(Clock& clock);
    // The log in the given folder (with its trailing "/"); empty means the current folder.
    RestartLog(Clock& clock, std::string directory);

    void Append(const std::string& text);

    const std::string& Path() const { return path_; }

    // The executable's real path cut after its last "/", the "/" kept; empty without one.
    static std::string ModuleDirectory();

    static constexpr const char* kFileName = "TOLVREBOOT.LOG";

private:
    Clock& clock_;
    std::string path_;
};

// The log as a terminal may show it. The file's bytes stay as they are; what reaches the
// terminal holds no control byte but the TAB after each time stamp, and LF line ends, which
// terminals and scripts expect.
std::string PrintableLog(std::string_view contents);

}  // namespace tolvane
