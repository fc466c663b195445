#include "app/StartupReport.h"

namespace tolvane {

// The restart runs the real net.exe: there is no services map to explain.
std::string ServicesMapNote(const std::string&, const Settings&) {
    return {};
}

std::string ServicesMapLine() {
    return {};
}

std::string MonitorEndedBy() {
    return "Ctrl-C or closing the console";
}

std::string OutputNote() {
    return "Written to a file or a pipe, the output is UTF-8 (no byte order mark).\n";
}

}  // namespace tolvane
