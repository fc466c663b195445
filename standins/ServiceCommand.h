#pragma once

#include <optional>
#include <string>
#include <vector>

#include "standins/ServicesMap.h"

namespace tolvane {

// Loads the services map for a stand-in; prints the reason and returns false when it cannot.
bool LoadServicesMap(const char* tool, ServicesMap& map);

// Runs a mapped command to its end; its exit code, or 1 when it cannot be started. An empty
// command is the map's "nothing to do": 0, quietly.
int RunMapped(const char* tool, const std::vector<std::string>& command);

}  // namespace tolvane
