#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/NumberRule.h"

namespace tolvane {

// The fourteen persisted values and, after them, the values added beside them in the same key;
// each field bears its registry value's name. Texts are CP932.
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

    // Added beside the fourteen: the HTTP check, the restart rules and the figures file. A
    // missing one is its default and is not written back; at their defaults the monitor checks
    // and restarts as it does without them.
    std::string CheckPath;            // empty: the TCP connect
    std::string CheckHost;            // empty: the name that is probed
    std::string CheckStatus = "200-399";
    std::string CheckText;            // empty: any body
    std::uint32_t CheckTimeout = 10;  // seconds
    std::uint32_t FailureThreshold = 1;
    std::uint32_t RestartGrace = 0;   // seconds
    std::uint32_t RestartLimit = 0;   // 0: no limit
    std::uint32_t RestartWindow = 60;  // minutes
    std::uint32_t MailOnRecovery = 0;
    std::string MetricsFile;          // empty: none
    // The mail's TLS and authentication; at their defaults the dialogue is the plain one. The
    // password is not here: it is kept apart, where other accounts cannot read it.
    std::string SmtpSecurity = "none";  // none, starttls or tls
    std::string SmtpVerify = "full";    // full, fingerprint or none
    std::string SmtpFingerprint;        // the server certificate's SHA-256, for fingerprint
    std::string SmtpUser;               // empty: no AUTH
    std::string SmtpTokenCommand;       // empty: the password; else XOAUTH2 with its token
    // The HTTP check over TLS, and how its certificate is judged.
    std::uint32_t CheckTls = 0;
    std::string CheckVerify = "none";  // none, full or fingerprint
    std::string CheckFingerprint;
};

// One row of the settings table: the value's name, where it lives in the record and, for a
// number, how an entered value is read and checked.
struct SettingsField {
    const char* name;
    std::uint32_t Settings::*number;  // null for a text
    std::string Settings::*text;      // null for a number
    NumberRule rule;
    // For an added text: what it must be, and the rule in words; null for any text.
    bool (*textRule)(std::string_view text) = nullptr;
    const char* textRuleWords = nullptr;
};

// The fourteen values in the order in which they are loaded and saved.
extern const std::array<SettingsField, 14> kSettingsFields;
// The added values, in the order in which they are loaded and printed.
extern const std::array<SettingsField, 19> kAddedSettingsFields;

// The row of a value, of either table, by its name, or null.
const SettingsField* FindSettingsField(std::string_view name);
// The rule of a number value.
const NumberRule& RuleOf(std::uint32_t Settings::*number);

// Whether the value in the record keeps its rule; when not, `refusal` names the value and the
// rule. The fourteen keep theirs only as the windows check them; this checks any row.
bool KeepsRule(const SettingsField& field, const Settings& settings, std::string& refusal);
// The record as the monitor works with it: an added value that breaks its rule (a hand-edited
// store) counts as its default.
Settings AddedValuesInForce(const Settings& settings);

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

// The values of the mail's TLS and authentication, copied as CopyMailValues copies.
template <typename From, typename To>
void CopyMailSecurityValues(const From& from, To& to) {
    to.SmtpSecurity = from.SmtpSecurity;
    to.SmtpVerify = from.SmtpVerify;
    to.SmtpFingerprint = from.SmtpFingerprint;
    to.SmtpUser = from.SmtpUser;
    to.SmtpTokenCommand = from.SmtpTokenCommand;
}

// The default subject and body, CP932.
const std::string& DefaultSubject();
const std::string& DefaultBody();

}  // namespace tolvane
