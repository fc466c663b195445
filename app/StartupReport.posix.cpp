#include "app/StartupReport.h"

#include <vector>

#include "os/File.h"
#include "standins/ServicesMap.h"

namespace tolvane {

namespace {

std::string Joined(const std::vector<std::string>& paths) {
    std::string text;
    for (const auto& path : paths) {
        text += (text.empty() ? "" : ", ") + path;
    }
    return text;
}

}  // namespace

std::string ServicesMapNote(const std::string& program) {
    const std::string path = ServicesMap::DefaultPath();
    std::string problem;
    ServicesMap map;
    if (!FileExists(path)) {
        problem = "no services map found (tried " + Joined(ServicesMap::SearchPaths()) + ")";
    } else if (!map.Load(path, problem)) {
        problem = "services map refused: " + problem;
    } else if (map.Empty()) {
        problem = "the services map " + path + " maps no service yet";
    } else {
        return {};
    }
    return program + ": " + problem + "; restarts will reach no service until it maps one. " +
           "See the services map in " + program + "(1).\n";
}

std::string ServicesMapLine() {
    const std::string map = ServicesMap::DefaultPath();
    std::string line = "services map: " + map;
    if (!FileExists(map)) {
        line += " (none yet; tried " + Joined(ServicesMap::SearchPaths()) + ")";
    }
    return line + "\n";
}

std::string MonitorEndedBy() {
    return "SIGINT or SIGTERM";
}

std::string OutputNote() {
    return {};
}

}  // namespace tolvane
