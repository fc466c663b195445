#pragma once

#include <functional>
#include <string>
#include <vector>

#include "monitor/CycleEvents.h"

namespace tolvane {

// `tolvanectl service ...` where the system has a service control manager to register with
// (Windows). On Linux systemd's unit runs `tolvanectl monitor` and there is no such command.

// The usage lines of the command; empty where there is none.
std::string ServiceUsage();

// Runs `service ARGS`; `monitor` is the monitor as `tolvanectl monitor` runs it, reporting
// its events to `report`, for `service run`. The exit code.
using ServiceMonitor = std::function<int(const EventReport& report)>;
int ServiceCommand(const std::vector<std::string>& args, const ServiceMonitor& monitor);

}  // namespace tolvane
