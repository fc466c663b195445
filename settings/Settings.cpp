#include "settings/Settings.h"

#include "os/CodePage.h"

namespace tolvane {

Settings::Settings() : Subject(DefaultSubject()), Body(DefaultBody()) {}

namespace {

// The ranges the windows enforce; the check boxes and the radio buttons give 0 or 1.
constexpr NumberRule kPortRule{0, 65535};
constexpr NumberRule kIntervalRule{1, 99999};
constexpr NumberRule kFlagRule{0, 1};

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

const SettingsField* FindSettingsField(std::string_view name) {
    for (const SettingsField& field : kSettingsFields) {
        if (name == field.name) {
            return &field;
        }
    }
    return nullptr;
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
