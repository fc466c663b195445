#include "ui/model/StartRights.h"

#include "monitor/MonitorCycle.h"
#include "os/CodePage.h"
#include "ui/model/UiTexts.h"
#include "ui/model/WindowSave.h"

namespace tolvane {

std::vector<std::string> UncontrollableServices(
    const Settings& settings, const std::function<bool(const std::string& name)>& denied) {
    std::vector<std::string> names;
    for (const std::string& name : RestartServiceNames(settings)) {
        if (name != "mtxstop" && denied(name)) {
            names.push_back(name);
        }
    }
    return names;
}

std::string MissingRightsNote(const std::vector<std::string>& uncontrollable,
                              const LoadReport& load) {
    if (uncontrollable.empty() && !load.denied) {
        return {};
    }
    std::string note;
    if (!uncontrollable.empty()) {
        std::string names;
        for (const std::string& name : uncontrollable) {
            names += (names.empty() ? "" : ", ") + name;
        }
        note = ServicesNotControllable(names);
    }
    const std::string loaded = LoadNote(load);
    return note + (note.empty() || loaded.empty() ? "" : Sjis("　")) + loaded;
}

}  // namespace tolvane
