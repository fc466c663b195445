#include "app/StartupReport.h"

#include "monitor/RestartLog.h"
#include "registry/Registry.h"
#include "settings/SettingsStore.h"
#include "settings/SmtpPassword.h"

namespace tolvane {

std::string WhereThingsAre() {
    const RegistryHive::Choice choice = RegistryHive::ClassesRoot();
    const RegistryHive classesRoot(choice.path);
    const std::string why = choice.why.empty() ? "" : " (" + choice.why + ")";
    return "settings:     " + classesRoot.Where(kSettingsKey) + why + "\n" +
           "password:     " + SmtpPasswordPlace() + "\n" + ServicesMapLine() +
           "restart log:  " + RestartLog::ModuleDirectory() + RestartLog::kFileName + "\n";
}

std::string VersionLine(const std::string& program) {
    return program + " " TOLVANE_VERSION "\n";
}

}  // namespace tolvane
