#include "os/ComputerName.h"

#include <unistd.h>

namespace tolvane {

std::string SystemHostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return {};
    }
    return name;
}

// No NetBIOS here: the greeting takes the host name (cut at its first ".").
std::string SystemNetBiosName() {
    return SystemHostName();
}

}  // namespace tolvane
