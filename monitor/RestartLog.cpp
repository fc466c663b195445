#include "monitor/RestartLog.h"

#include "os/File.h"
#include "os/LocalTime.h"
#include "os/Process.h"

namespace tolvane {

RestartLog::RestartLog(Clock& clock) : RestartLog(clock, ModuleDirectory()) {}

RestartLog::RestartLog(Clock& clock, std::string directory)
    : clock_(clock), path_(std::move(directory) + kFileName) {}

std::string RestartLog::ModuleDirectory() {
    return ExecutableDirectory();
}

void RestartLog::Append(const std::string& text) {
    std::string line = FormatLocalTime(clock_.Now());
    line += '\t';
    line.reserve(line.size() + text.size() + 2);
    for (char c : text) {
        if (c == '\n') {
            line += '\r';
        }
        line += c;
    }
    line += "\r\n";
    // One write of the whole line, so that other writers never split it.
    AppendToFile(path_, line);
}

}  // namespace tolvane
