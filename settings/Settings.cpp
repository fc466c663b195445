#include "settings/Settings.h"

#include "os/CodePage.h"
#include "os/TlsStream.h"
#include "settings/CheckRules.h"

namespace tolvane {

Settings::Settings() : Subject(DefaultSubject()), Body(DefaultBody()) {}

namespace {

// The ranges the windows enforce; the check boxes and the radio buttons give 0 or 1.
constexpr NumberRule kPortRule{0, 65535};
constexpr NumberRule kIntervalRule{1, 99999};
constexpr NumberRule kFlagRule{0, 1};

bool IsCheckPathOrEmpty(std::string_view text) {
    return text.empty() || IsCheckPath(text);
}

// A Host header's value: visible ASCII, no blanks.
bool IsHostHeader(std::string_view text) {
    for (const char c : text) {
        if (c <= 0x20 || c >= 0x7F) {
            return false;
        }
    }
    return true;
}

bool IsStatusList(std::string_view text) {
    return ParseStatusList(text).has_value();
}

bool IsSmtpSecurity(std::string_view text) {
    return text == "none" || text == "starttls" || text == "tls";
}

bool IsVerifyChoice(std::string_view text) {
    return TlsVerifyNamed(text).has_value();
}

bool IsFingerprintOrEmpty(std::string_view text) {
    return text.empty() || NormalizedFingerprint(text).has_value();
}

constexpr const char* kFingerprintWords =
    "empty, or a SHA-256 fingerprint: 64 hex digits, pairs optionally separated by colons";

// What goes into a protocol line: no line breaks, no other control characters.
bool IsOneLine(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return false;
        }
    }
    return true;
}

constexpr const char* kOneLineWords = "one line without control characters";

}  // namespace

const std::array<SettingsField, 14> kSettingsFields{{
    {"Port", &Settings::Port, nullptr, kPortRule},
    {"Interval", &Settings::Interval, nullptr, kIntervalRule},
    {"CheckFtpSvc", &Settings::CheckFtpSvc, nullptr, kFlagRule},
    {"CheckSmtpSvc", &Settings::CheckSmtpSvc, nullptr, kFlagRule},
    {"CheckNntpSvc", &Settings::CheckNntpSvc, nullptr, kFlagRule},
    {"CheckMsdtc", &Settings::CheckMsdtc, nullptr, kFlagRule},
    {"AutoStartupMode", &Settings::AutoStartupMode, nullptr, kFlagRule},
    {"WithMail", &Settings::WithMail, nullptr, kFlagRule},
    {"Smtp", nullptr, &Settings::Smtp, {}},
    {"SmtpPort", &Settings::SmtpPort, nullptr, kPortRule},
    {"From", nullptr, &Settings::From, {}},
    {"To", nullptr, &Settings::To, {}},
    {"Subject", nullptr, &Settings::Subject, {}},
    {"Body", nullptr, &Settings::Body, {}},
}};

const std::array<SettingsField, 19> kAddedSettingsFields{{
    {"CheckPath", nullptr, &Settings::CheckPath, {}, IsCheckPathOrEmpty,
     "empty, or a path that starts with \"/\" and holds no blanks or control characters"},
    {"CheckHost", nullptr, &Settings::CheckHost, {}, IsHostHeader,
     "empty, or a host name of visible ASCII characters without blanks"},
    {"CheckStatus", nullptr, &Settings::CheckStatus, {}, IsStatusList,
     "status codes from 100 to 599 and ranges such as 301-302, separated by commas"},
    {"CheckText", nullptr, &Settings::CheckText, {}},
    {"CheckTimeout", &Settings::CheckTimeout, nullptr, {1, 300}},
    {"FailureThreshold", &Settings::FailureThreshold, nullptr, {1, 100}},
    {"RestartGrace", &Settings::RestartGrace, nullptr, {0, 3600}},
    {"RestartLimit", &Settings::RestartLimit, nullptr, {0, 100}},
    {"RestartWindow", &Settings::RestartWindow, nullptr, {1, 1440}},
    {"MailOnRecovery", &Settings::MailOnRecovery, nullptr, kFlagRule},
    {"MetricsFile", nullptr, &Settings::MetricsFile, {}},
    {"SmtpSecurity", nullptr, &Settings::SmtpSecurity, {}, IsSmtpSecurity,
     "none, starttls or tls"},
    {"SmtpVerify", nullptr, &Settings::SmtpVerify, {}, IsVerifyChoice, "full, fingerprint or none"},
    {"SmtpFingerprint", nullptr, &Settings::SmtpFingerprint, {}, IsFingerprintOrEmpty,
     kFingerprintWords},
    {"SmtpUser", nullptr, &Settings::SmtpUser, {}, IsOneLine, kOneLineWords},
    {"SmtpTokenCommand", nullptr, &Settings::SmtpTokenCommand, {}, IsOneLine, kOneLineWords},
    {"CheckTls", &Settings::CheckTls, nullptr, kFlagRule},
    {"CheckVerify", nullptr, &Settings::CheckVerify, {}, IsVerifyChoice, "none, full or fingerprint"},
    {"CheckFingerprint", nullptr, &Settings::CheckFingerprint, {}, IsFingerprintOrEmpty,
     kFingerprintWords},
}};

const SettingsField* FindSettingsField(std::string_view name) {
    for (const SettingsField& field : kSettingsFields) {
        if (name == field.name) {
            return &field;
        }
    }
    for (const SettingsField& field : kAddedSettingsFields) {
        if (name == field.name) {
            return &field;
        }
    }
    return nullptr;
}

bool KeepsRule(const SettingsField& field, const Settings& settings, std::string& refusal) {
    if (field.number != nullptr) {
        const NumberReading reading = CheckNumber(settings.*field.number, field.rule);
        if (!reading.accepted) {
            refusal = std::string(field.name) + " " + std::to_string(settings.*field.number) +
                      ": " + reading.message;
        }
        return reading.accepted;
    }
    if (field.textRule != nullptr && !field.textRule(settings.*field.text)) {
        refusal = std::string(field.name) + ": must be " + field.textRuleWords;
        return false;
    }
    return true;
}

Settings AddedValuesInForce(const Settings& settings) {
    static const Settings defaults;
    Settings inForce = settings;
    std::string refusal;
    for (const SettingsField& field : kAddedSettingsFields) {
        if (KeepsRule(field, settings, refusal)) {
            continue;
        }
        if (field.number != nullptr) {
            inForce.*field.number = defaults.*field.number;
        } else {
            inForce.*field.text = defaults.*field.text;
        }
    }
    return inForce;
}

const NumberRule& RuleOf(std::uint32_t Settings::*number) {
    for (const SettingsField& field : kSettingsFields) {
        if (field.number == number) {
            return field.rule;
        }
    }
    static const NumberRule any;
    return any;
}

const std::string& DefaultSubject() {
    static const std::string text = Sjis("メールの件名を入力して下さい。");
    return text;
}

const std::string& DefaultBody() {
    static const std::string text = Sjis("IIS再起動時に送信されるメールの本文を入力して下さい。");
    return text;
}

}  // namespace tolvane
