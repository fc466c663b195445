#pragma once

// The settings as `Name=value` texts, as tolvanectl prints and takes them: numbers in decimal,
// texts in the locale's charset with "\\", "\r" and "\n" escaped, so each value stays on its line.
#include <cstdint>
#include <string>

#include "settings/Settings.h"

namespace tolvane {

std::string SettingText(const SettingsField& field, const Settings& settings);

// One value as an assignment gives it, checked before anything is stored.
struct SettingChange {
    const SettingsField* field = nullptr;
    std::uint32_t number = 0;
    std::string text;  // CP932

    void ApplyTo(Settings& settings) const;
};

// Reads "Name=value": numbers as the windows read their fields (the same rule, the same
// messages), texts unescaped and converted to CP932 within what the store reads back. False
// with the refusal, one line naming the value.
bool ReadSettingAssignment(const std::string& assignment, SettingChange& change,
                           std::string& refusal);

}  // namespace tolvane
