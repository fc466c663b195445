#include "app/StartupReport.h"

#include "monitor/RestartLog.h"
#include "registry/Registry.h"

namespace tolvane {

std::string WhereThingsAre() {
    return "settings:     " + RegistryHive::ClassesRootPath() + "\n" + ServicesMapLine() +
           "restart log:  " + RestartLog::ModuleDirectory() + RestartLog::kFileName + "\n";
}

std::string VersionLine(const std::string& program) {
    return program + " " TOLVANE_VERSION "\n";
}

}  // namespace tolvane
