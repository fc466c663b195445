#include "os/ScriptMailObject.h"

#include <windows.h>

namespace tolvane {

bool ScriptMailObjectRegistered() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CDONTS.NewMail", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

}  // namespace tolvane
