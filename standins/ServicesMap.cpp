#include "standins/ServicesMap.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "os/File.h"
#include "os/Process.h"
#include "standins/TrustedPath.h"
#include "text/CommandLine.h"
#include "text/Cp932.h"

namespace tolvane {

std::vector<std::string> ServicesMap::SearchPaths() {
    if (const char* path = std::getenv("TOLVANE_SERVICES"); path != nullptr && *path != '\0') {
        return {path};
    }
    return InstalledPaths();
}

std::vector<std::string> ServicesMap::InstalledPaths() {
    return {ExecutableDirectory() + "services.conf", "/etc/tolvane/services.conf"};
}

std::string ServicesMap::DefaultPath(const std::vector<std::string>& paths) {
    for (const auto& path : paths) {
        if (FileExists(path)) {
            return path;
        }
    }
    return paths.back();
}

bool ServicesMap::Load(const std::string& path, std::string& error, TrustedOwners owners) {
    entries_.clear();
    if (!FileExists(path)) {
        error = "cannot read the services map " + path + ": " + std::strerror(errno);
        return false;
    }
    // The map names commands that run as the user of the restart, often root: a map that
    // anyone else could change would run their commands.
    std::string problem;
    if (!IsTrustedPath(path, problem, owners)) {
        error = "the services map " + path + " is refused: " + problem +
                "; the map and every folder on its path must belong to " +
                (owners == TrustedOwners::RootOnly ? "root" : "you or root") +
                " and be "
                "writable by their owner alone (chown, chmod go-w; a sticky folder such as /tmp "
                "may stay)";
        return false;
    }
    std::string text;
    if (!ReadWholeFile(path, text)) {
        error = "cannot read the services map " + path + ": " + std::strerror(errno);
        return false;
    }
    return Parse(text, path, error);
}

bool ServicesMap::Parse(const std::string& text, const std::string& source, std::string& error) {
    entries_.clear();
    std::size_t at = 0;
    int number = 0;
    while (at < text.size()) {
        auto end = text.find('\n', at);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = TrimBlanks(text.substr(at, end - at), " \t\r");
        at = end + 1;
        ++number;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const auto equals = line.find('=');
        const std::string key = AsciiLower(TrimBlanks(line.substr(0, equals), " \t\r"));
        const std::string value = equals == std::string::npos
                                      ? std::string()
                                      : TrimBlanks(line.substr(equals + 1), " \t\r");
        if (equals == std::string::npos || key.empty()) {
            error = source + ":" + std::to_string(number) +
                    ": expected NAME = UNIT or NAME.start/.stop = COMMAND";
            entries_.clear();  // a refused file maps nothing, not its first lines
            return false;
        }
        entries_.push_back(Entry{key, value});
    }
    return true;
}

const ServicesMap::Entry* ServicesMap::Find(const std::string& key) const {
    // The later line wins, so a local file can override an earlier default.
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if (it->key == key) {
            return &*it;
        }
    }
    return nullptr;
}

std::optional<std::vector<std::string>> ServicesMap::Command(const std::string& name,
                                                             const std::string& action) const {
    const std::string service = AsciiLower(name);
    if (const Entry* explicitCommand = Find(service + "." + AsciiLower(action))) {
        return SplitCommandLine(explicitCommand->value);
    }
    if (const Entry* unit = Find(service)) {
        if (unit->value.empty()) {
            return std::vector<std::string>{};
        }
        return std::vector<std::string>{"systemctl", AsciiLower(action), unit->value};
    }
    return std::nullopt;
}

namespace {

// The unit systemctl acts on for a name: "nginx" is "nginx.service", as systemctl completes it.
std::string UnitName(const std::string& name) {
    static const char* const kTypes[] = {".service",   ".socket", ".device", ".mount",
                                         ".automount", ".swap",   ".target", ".path",
                                         ".timer",     ".slice",  ".scope"};
    for (const char* type : kTypes) {
        if (name.ends_with(type) && name.size() > std::strlen(type)) {
            return name;
        }
    }
    return name + ".service";
}

}  // namespace

bool ServicesMap::MapsUnit(const std::string& unit) const {
    if (unit.empty()) {
        return false;
    }
    const std::string wanted = UnitName(unit);
    for (const auto& entry : entries_) {
        const bool unitLine = entry.key.find('.') == std::string::npos && entry.key != "mtxstop";
        // Only the line in effect counts, and not when explicit commands replace both actions.
        if (!unitLine || entry.value.empty() || Find(entry.key) != &entry ||
            (Find(entry.key + ".start") != nullptr && Find(entry.key + ".stop") != nullptr)) {
            continue;
        }
        if (UnitName(entry.value) == wanted) {
            return true;
        }
    }
    return false;
}

std::optional<std::vector<std::string>> ServicesMap::MtxStop() const {
    if (const Entry* entry = Find("mtxstop")) {
        return SplitCommandLine(entry->value);
    }
    return std::nullopt;
}

}  // namespace tolvane
