// The services map from any file text: a refused map maps nothing, an accepted one maps every
// name it writes, whatever the line ends, comments or case, and its later line wins; only an
// empty value maps a name to nothing to do.

#include <algorithm>
#include <cctype>

#include "fuzz/FuzzSupport.h"
#include "standins/ServicesMap.h"

namespace tolvane::fuzz {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(" \t\r") - first + 1));
}

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// The names the text writes: each key, and the service of a ".start" or ".stop" key.
std::vector<std::string> Names(const std::string& text) {
    std::vector<std::string> names;
    for (const auto& line : Fields(text, '\n')) {
        const std::string key = Lower(Trim(line.substr(0, line.find('='))));
        if (key.empty() || key[0] == '#' || line.find('=') == std::string::npos) {
            continue;
        }
        names.push_back(key);
        for (std::string_view action : {".start", ".stop"}) {
            if (EndsWith(key, action)) {
                names.push_back(key.substr(0, key.size() - action.size()));
            }
        }
    }
    return names;
}

using Commands = std::vector<std::optional<std::vector<std::string>>>;

Commands Lookup(const ServicesMap& map, const std::vector<std::string>& names) {
    Commands commands;
    for (const auto& name : names) {
        commands.push_back(map.Command(name, "start"));
        commands.push_back(map.Command(name, "stop"));
    }
    commands.push_back(map.MtxStop());
    return commands;
}

// Whether a line of the text gives a name an empty value.
bool WritesEmptyValue(const std::string& text) {
    for (const auto& line : Fields(text, '\n')) {
        const auto equals = line.find('=');
        if (equals != std::string::npos && Trim(line)[0] != '#' &&
            Trim(line.substr(equals + 1)).empty()) {
            return true;
        }
    }
    return false;
}

void CheckCommand(const std::optional<std::vector<std::string>>& command, bool emptyWritten) {
    if (!command) {
        return;
    }
    Require(!command->empty() || emptyWritten, "a name mapped to a value runs a program");
    for (const auto& arg : *command) {
        Require(arg.find('\n') == std::string::npos, "no argument spans lines");
    }
}

}  // namespace
}  // namespace tolvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tolvane;
    using namespace tolvane::fuzz;
    const std::string text(Bytes(data, size));
    const std::vector<std::string> names = Names(text);

    ServicesMap map;
    std::string error;
    const bool accepted = map.Parse(text, "map", error);
    const Commands commands = Lookup(map, names);
    for (const auto& command : commands) {
        CheckCommand(command, WritesEmptyValue(text));
        Require(accepted || !command, "a refused map maps nothing");
    }
    if (!accepted) {
        Require(error.rfind("map:", 0) == 0, "a refusal names the file and line");
        return 0;
    }
    for (const auto& name : names) {
        Require(map.Command(name, "start") || map.Command(name, "stop"),
                "every name written is mapped");
        Require(map.Command(Upper(name), "START") == map.Command(name, "start"),
                "names and actions in any case");
    }

    // CR LF line ends and comment lines between the lines change nothing.
    std::string other;
    for (const auto& line : Fields(text, '\n')) {
        other += "# " + line + "\r\n\r\n" + line + "\r\n";
    }
    ServicesMap same;
    Require(same.Parse(other, "map", error), "the same map with CR LF and comments is accepted");
    Require(Lookup(same, names) == commands, "and maps the same");

    // A later line overrides an earlier one.
    for (const auto& name : names) {
        if (name.find_first_of("=# \t\r\n") != std::string::npos || name.empty() ||
            name.find('.') != std::string::npos) {
            continue;
        }
        ServicesMap later;
        Require(later.Parse(text + "\n" + name + ".stop = \"/bin/x y\" z\n", "map", error),
                "an added line is accepted");
        Require(later.Command(name, "stop") == std::vector<std::string>{"/bin/x y", "z"},
                "the later line wins");
        break;
    }
    return 0;
}
