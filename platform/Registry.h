#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tolvane {

// Value types and status codes with the numbers of the Windows registry.
enum RegType : std::uint32_t {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4
};
enum RegStatus : long {
    ERROR_SUCCESS = 0,
    ERROR_FILE_NOT_FOUND = 2,
    ERROR_ACCESS_DENIED = 5,
    ERROR_INVALID_HANDLE = 6,
    ERROR_MORE_DATA = 234,
};

struct RegValue {
    std::string name;
    std::uint32_t type = REG_NONE;
    std::string data;
};

struct RegKeyData {
    std::string path;  // subkeys joined by "\", without the hive
    std::vector<RegValue> values;
};

// The parsed contents of one hive file, in the order of the file.
struct RegHiveData {
    std::vector<RegKeyData> keys;

    RegKeyData* FindKey(const std::string& path);
    static bool Parse(const std::string& text, RegHiveData& hive);
    std::string Format() const;
};

// One hive kept in a REGEDIT4-style text file. Every operation reads the file afresh under an
// exclusive flock and every change replaces it atomically. A file that cannot be read or
// parsed is kept beside as "*.bad" and the hive starts from empty.
class RegistryHive {
public:
    explicit RegistryHive(std::string path);
    const std::string& Path() const { return path_; }

    // The file of HKEY_CLASSES_ROOT: $TOLVANE_REGISTRY, else
    // $XDG_CONFIG_HOME/tolvane/HKEY_CLASSES_ROOT.reg (XDG_CONFIG_HOME defaulting to ~/.config).
    static std::string ClassesRootPath();

    long CreateKey(const std::string& path);
    long QueryValue(const std::string& key, const std::string& name, std::uint32_t* type,
                    std::uint8_t* data, std::uint32_t* size);
    long SetValue(const std::string& key, const std::string& name, std::uint32_t type,
                  const std::uint8_t* data, std::uint32_t size);

private:
    // Loads the hive under its lock and runs the action on the key; the action's status, or
    // the failure to lock, load or find the key.
    long WithKey(const std::string& key,
                 const std::function<long(RegHiveData&, RegKeyData&)>& action);
    bool Load(RegHiveData& hive);
    bool Store(const RegHiveData& hive);

    std::string path_;
};

// An open key: the hive and the key's path within it. A default-constructed key is the null
// handle, on which every call fails.
struct HKEY {
    RegistryHive* hive = nullptr;
    std::string path;
    explicit operator bool() const { return hive != nullptr; }
};

HKEY RootKey(RegistryHive& hive);

// The four calls the settings store is written against, with the Windows semantics it needs:
// create opens or creates, a read into a too-small buffer fails with ERROR_MORE_DATA, type and
// data length are kept as written.
long RegCreateKeyEx(const HKEY& parent, const std::string& subkey, HKEY& result);
long RegQueryValueEx(const HKEY& key, const std::string& name, std::uint32_t* type,
                     std::uint8_t* data, std::uint32_t* size);
long RegSetValueEx(const HKEY& key, const std::string& name, std::uint32_t type,
                   const std::uint8_t* data, std::uint32_t size);
long RegCloseKey(HKEY& key);

}  // namespace tolvane
