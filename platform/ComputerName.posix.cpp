#include "platform/ComputerName.h"

#include <unistd.h>

namespace tolvane {

std::string GetComputerName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return {};
    }
    std::string result(name);
    if (const auto dot = result.find('.'); dot != std::string::npos) {
        result.resize(dot);
    }
    return result;
}

}  // namespace tolvane
