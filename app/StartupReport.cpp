#include "app/StartupReport.h"

#include "monitor/RestartLog.h"
#include "registry/Registry.h"
#include "settings/SettingsStore.h"

namespace tolvane {

std::string WhereThingsAre() {
    const RegistryHive classesRoot(RegistryHive::ClassesRootPath());
    return "settings:     " + classesRoot.Where(kSettingsKey) + "\n" + ServicesMapLine() +
           "restart log:  " + RestartLog::ModuleDirectory() + RestartLog::kFileName + "\n";
}

std::string VersionLine(const std::string& program) {
    return program + " " TOLVANE_VERSION "\n";
}

}  // namespace tolvane
