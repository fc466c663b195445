#pragma once

#include <functional>
#include <string>
#include <vector>

#include "settings/Settings.h"
#include "settings/SettingsStore.h"

namespace tolvane {

// The services a restart with these settings starts or stops (mtxstop is no service) that this
// account may not, as `denied` answers for each name.
std::vector<std::string> UncontrollableServices(
    const Settings& settings, const std::function<bool(const std::string& name)>& denied);

// What the window says at its start, in its status line and once in a box, when this account
// cannot do what the monitor is for: start and stop the services named, or save the settings
// (the refusal of the load, with what else the load note says). Empty when it can. CP932.
std::string MissingRightsNote(const std::vector<std::string>& uncontrollable,
                              const LoadReport& load);

}  // namespace tolvane
