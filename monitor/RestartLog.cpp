#include "monitor/RestartLog.h"

#include "os/CodePage.h"
#include "os/Console.h"
#include "os/File.h"
#include "os/LocalTime.h"
#include "os/Process.h"
#include "text/TextEscape.h"

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
    if (lineObserver_) {
        lineObserver_(line);
    }
    line += "\r\n";
    // One write of the whole line, so that other writers never split it.
    AppendResult result = TryAppendToFile(path_, line);
    for (std::uint32_t waited = 0; result == AppendResult::Locked && waited < kLockedPatienceMs;
         waited += kLockedRetryMs) {
        clock_.Pause(kLockedRetryMs);
        result = TryAppendToFile(path_, line);
    }
    if (result != AppendResult::Locked) {
        return;
    }
    const std::string report = Sjis("TOLVREBOOT.LOG に書き込めませんでした: ") + text;
    if (lossReport_) {
        lossReport_(report);
    } else {
        WriteText(stderr, Cp932ToLocale(report) + "\n");
    }
}

std::string PrintableLog(std::string_view contents) {
    std::string out;
    out.reserve(contents.size());
    for (std::size_t at = 0; at < contents.size();) {
        auto end = contents.find('\n', at);
        const bool ended = end != std::string_view::npos;
        std::string_view line = contents.substr(at, ended ? end - at : std::string_view::npos);
        at = ended ? end + 1 : contents.size();
        if (ended && line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        const auto tab = line.find('\t');
        out += ControlsReplaced(line.substr(0, tab));
        if (tab != std::string_view::npos) {
            out += '\t';
            out += ControlsReplaced(line.substr(tab + 1));
        }
        if (ended) {
            out += '\n';
        }
    }
    return out;
}

}  // namespace tolvane
