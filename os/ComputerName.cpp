#include "os/ComputerName.h"

namespace tolvane {

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
