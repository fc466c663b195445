#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/NumberRule.h"

namespace tolvane {

// The fourteen persisted values; each field bears its registry value's name. Texts are CP932.
struct Settings {
    Settings();

    std::uint32_t Port = 80;
    std::uint32_t Interval = 60;
    std::uint32_t CheckFtpSvc = 1;
    std::uint32_t CheckSmtpSvc = 1;
    std::uint32_t CheckNntpSvc = 0;
    std::uint32_t CheckMsdtc = 0;
    std::uint32_t AutoStartupMode = 0;
    std::uint32_t WithMail = 0;
    std::string Smtp;
    std::uint32_t SmtpPort = 25;
    std::string From;
    std::string To;
    std::string Subject;
    std::string Body;
};

// One row of the settings table: the value's name, where it lives in the record and, for a
// number, how an entered value is read and checked.
struct SettingsField {
    const char* name;
    std::uint32_t Settings::*number;  // null for a text
    std::string Settings::*text;      // null for a number
    NumberRule rule;
};

// The fourteen values in the order in which they are loaded and saved.
extern const std::array<SettingsField, 14> kSettingsFields;

// The row of a value by its name, or null.
const SettingsField* FindSettingsField(std::string_view name);
// The rule of a number value.
const NumberRule& RuleOf(std::uint32_t Settings::*number);

// The seven values of the mail settings, copied between anything that holds them by their names
// (a record, the mail settings dialog's model).
template <typename From, typename To>
void CopyMailValues(const From& from, To& to) {
    to.Smtp = from.Smtp;
    to.SmtpPort = from.SmtpPort;
    to.From = from.From;
    to.To = from.To;
    to.Subject = from.Subject;
    to.Body = from.Body;
    to.WithMail = from.WithMail;
}

// The default subject and body, CP932.
const std::string& DefaultSubject();
const std::string& DefaultBody();

}  // namespace tolvane
