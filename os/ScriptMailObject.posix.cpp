#include "os/ScriptMailObject.h"

namespace tolvane {

bool ScriptMailObjectRegistered() {
    return true;
}

}  // namespace tolvane
