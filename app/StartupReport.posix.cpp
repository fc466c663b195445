#include "app/StartupReport.h"

#include <algorithm>
#include <vector>

#include "monitor/MonitorCycle.h"
#include "os/File.h"
#include "standins/ServicesMap.h"

namespace tolvane {

namespace {

// "a, b and c".
std::string Listed(const std::vector<std::string>& items, const char* last = " and ") {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == items.size() ? last : ", ") + items[i];
    }
    return text;
}

std::string Joined(const std::vector<std::string>& paths) {
    return Listed(paths, ", ");
}

// The names whose use the map has no line for; mtxstop needs none (without one it does nothing).
std::vector<std::string> Unmapped(const ServicesMap& map, const Settings& settings) {
    std::vector<std::string> names;
    for (const ServiceUse& use : RestartServiceUses(settings)) {
        if (!use.action.empty() && !map.Command(use.name, use.action) &&
            std::find(names.begin(), names.end(), use.name) == names.end()) {
            names.push_back(use.name);
        }
    }
    return names;
}

}  // namespace

std::string ServicesMapNote(const std::string& program, const Settings& settings) {
    const std::string path = ServicesMap::DefaultPath();
    std::string problem;
    ServicesMap map;
    if (!FileExists(path)) {
        problem = "no services map found (tried " + Joined(ServicesMap::SearchPaths()) +
                  "), so it reaches none of them";
    } else if (!map.Load(path, problem)) {
        problem = "services map refused (" + problem + "), so it reaches none of them";
    } else if (const std::vector<std::string> unmapped = Unmapped(map, settings);
               !unmapped.empty()) {
        const std::string them = unmapped.size() == 1 ? "it" : "each";
        problem = "the services map " + path + " does not map " + Listed(unmapped) +
                  ", so net fails on " + them + " in every restart (map " + them +
                  " to this machine's counterpart, or to nothing: \"" + unmapped.back() + " =\")";
    } else {
        return {};
    }
    return program + ": a restart with the current settings uses " +
           Listed(RestartServiceNames(settings)) + "; " + problem + ". See the services map in " +
           program + "(1).\n";
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
