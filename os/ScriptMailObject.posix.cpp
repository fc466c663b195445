#include "os/ScriptMailObject.h"

namespace tolvane {

bool ScriptMailObjectRegistered() {
    return true;
}

bool ScriptFolder(std::string& folder) {
    folder.clear();
    return true;
}

}  // namespace tolvane
