#include "platform/ComputerName.h"

#include <unistd.h>

namespace tolvane {

std::string SystemHostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return {};
    }
    return name;
}

std::string GetComputerName(HostNameReader read) {
    return read();
}

std::string GetShortComputerName(HostNameReader read) {
    std::string name = read();
    if (const auto dot = name.find('.'); dot != std::string::npos) {
        name.resize(dot);
    }
    return name;
}

}  // namespace tolvane
