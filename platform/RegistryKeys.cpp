#include "platform/Registry.h"

namespace tolvane {

HKEY RootKey(RegistryHive& hive) {
    return HKEY{&hive, std::string()};
}

long RegCreateKeyEx(const HKEY& parent, const std::string& subkey, HKEY& result) {
    result = HKEY{};
    if (!parent || subkey.empty()) {
        return ERROR_INVALID_HANDLE;
    }
    const std::string path = parent.path.empty() ? subkey : parent.path + "\\" + subkey;
    const long status = parent.hive->CreateKey(path);
    if (status == ERROR_SUCCESS) {
        result = HKEY{parent.hive, path};
    }
    return status;
}

long RegQueryValueEx(const HKEY& key, const std::string& name, std::uint32_t* type,
                     std::uint8_t* data, std::uint32_t* size) {
    if (!key) {
        return ERROR_INVALID_HANDLE;
    }
    return key.hive->QueryValue(key.path, name, type, data, size);
}

long RegSetValueEx(const HKEY& key, const std::string& name, std::uint32_t type,
                   const std::uint8_t* data, std::uint32_t size) {
    if (!key) {
        return ERROR_INVALID_HANDLE;
    }
    return key.hive->SetValue(key.path, name, type, data, size);
}

long RegCloseKey(HKEY& key) {
    if (!key) {
        return ERROR_INVALID_HANDLE;
    }
    key = HKEY{};
    return ERROR_SUCCESS;
}

}  // namespace tolvane
