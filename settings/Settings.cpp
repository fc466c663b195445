#include "settings/Settings.h"

#include "platform/CodePage.h"

namespace tolvane {

Settings::Settings() : Subject(DefaultSubject()), Body(DefaultBody()) {}

const std::array<SettingsField, 14> kSettingsFields{{
    {"Port", &Settings::Port, nullptr},
    {"Interval", &Settings::Interval, nullptr},
    {"CheckFtpSvc", &Settings::CheckFtpSvc, nullptr},
    {"CheckSmtpSvc", &Settings::CheckSmtpSvc, nullptr},
    {"CheckNntpSvc", &Settings::CheckNntpSvc, nullptr},
    {"CheckMsdtc", &Settings::CheckMsdtc, nullptr},
    {"AutoStartupMode", &Settings::AutoStartupMode, nullptr},
    {"WithMail", &Settings::WithMail, nullptr},
    {"Smtp", nullptr, &Settings::Smtp},
    {"SmtpPort", &Settings::SmtpPort, nullptr},
    {"From", nullptr, &Settings::From},
    {"To", nullptr, &Settings::To},
    {"Subject", nullptr, &Settings::Subject},
    {"Body", nullptr, &Settings::Body},
}};

const std::string& DefaultSubject() {
    static const std::string text = Sjis("メールの件名を入力して下さい。");
    return text;
}

const std::string& DefaultBody() {
    static const std::string text = Sjis("IIS再起動時に送信されるメールの本文を入力して下さい。");
    return text;
}

}  // namespace tolvane
