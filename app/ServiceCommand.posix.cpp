#include "app/ServiceCommand.h"

namespace tolvane {

// systemd runs `tolvanectl monitor` from its own unit.
std::string ServiceUsage() {
    return {};
}

int ServiceCommand(const std::vector<std::string>&, const ServiceMonitor&) {
    return 2;
}

}  // namespace tolvane
