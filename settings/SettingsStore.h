#pragma once

#include <cstdint>
#include <string>

#include "platform/Registry.h"
#include "settings/Settings.h"

namespace tolvane {

// Holds one open key, closed when released or destroyed.
class RegKeyHolder {
public:
    RegKeyHolder() = default;
    RegKeyHolder(const RegKeyHolder&) = delete;
    RegKeyHolder& operator=(const RegKeyHolder&) = delete;
    ~RegKeyHolder() { Release(); }

    HKEY& Key() { return key_; }
    void Release() {
        if (key_) {
            RegCloseKey(key_);
        }
    }

private:
    HKEY key_;
};

// The settings record under HKEY_CLASSES_ROOT\Zr.ClassDlg.1\Setting. No operation reports a
// failure: an unopenable key leaves the record as it is, as on a locked-down registry.
class SettingsStore {
public:
    explicit SettingsStore(RegistryHive& classesRoot) : root_(classesRoot) {}

    void LoadSettings(Settings& settings);
    void SaveSettings(const Settings& settings);
    void SaveMailSettings(std::uint32_t WithMail, std::uint32_t SmtpPort, const std::string& Smtp,
                          const std::string& From, const std::string& To,
                          const std::string& Subject, const std::string& Body);
    void SaveStartupMode(std::uint32_t AutoStartupMode);

private:
    class OpenKeys;

    RegistryHive& root_;
};

}  // namespace tolvane
