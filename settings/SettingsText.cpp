#include "settings/SettingsText.h"

#include "os/CodePage.h"
#include "settings/SettingsStore.h"
#include "text/TextEscape.h"

namespace tolvane {

std::string SettingText(const SettingsField& field, const Settings& settings) {
    std::string line = std::string(field.name) + "=";
    if (field.number != nullptr) {
        line += std::to_string(settings.*field.number);
    } else {
        AppendEscaped(line, Cp932ToLocale(settings.*field.text), false);
    }
    return line;
}

void SettingChange::ApplyTo(Settings& settings) const {
    if (field->number != nullptr) {
        settings.*field->number = number;
    } else {
        settings.*field->text = text;
    }
}

bool ReadSettingAssignment(const std::string& assignment, SettingChange& change,
                           std::string& refusal) {
    const auto equals = assignment.find('=');
    const std::string name = assignment.substr(0, equals);
    const SettingsField* field = FindSettingsField(name);
    if (equals == std::string::npos || field == nullptr) {
        refusal = "unknown setting \"" + name +
                  "\"; the names are those printed by 'tolvanectl settings'";
        return false;
    }
    const std::string value = assignment.substr(equals + 1);
    change = SettingChange{field, 0, {}};
    if (field->number != nullptr) {
        const NumberReading reading = ReadNumber(value, field->rule);
        if (!reading.accepted) {
            refusal = name + ": " + reading.message;
            return false;
        }
        change.number = reading.value;
        return true;
    }
    std::string unescaped;
    std::size_t at = 0;
    if (!ReadEscaped(value, at, unescaped, false)) {
        refusal = name + ": a backslash must be followed by \\, r or n";
        return false;
    }
    if (!LocaleToCp932(unescaped, change.text)) {
        refusal = name + ": the text holds characters that Shift_JIS (CP932) cannot store";
        return false;
    }
    if (change.text.size() + 1 > kSettingsTextLimit) {
        refusal = name + ": the text takes " + std::to_string(change.text.size()) +
                  " bytes in Shift_JIS (CP932); at most " + std::to_string(kSettingsTextLimit - 1) +
                  " can be read back";
        return false;
    }
    Settings checked;
    checked.*field->text = change.text;
    return KeepsRule(*field, checked, refusal);
}

}  // namespace tolvane
