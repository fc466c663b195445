#include "app/StartupReport.h"

namespace tolvane {

// The restart runs the real net.exe: there is no services map to explain.
std::string ServicesMapNote(const std::string&) {
    return {};
}

std::string ServicesMapLine() {
    return {};
}

}  // namespace tolvane
