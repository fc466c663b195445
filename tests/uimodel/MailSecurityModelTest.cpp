#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>

#include "os/CodePage.h"
#include "ui/model/CommandId.h"
#include "ui/model/MailSecurityModel.h"
#include "ui/model/UiTexts.h"

namespace tolvane {
namespace {

StoredPassword Stored(StoredPassword::Outcome outcome, const char* reason = "") {
    StoredPassword stored;
    stored.outcome = outcome;
    stored.reason = reason;
    return stored;
}

constexpr auto kFound = StoredPassword::Outcome::Found;
constexpr auto kMissing = StoredPassword::Outcome::Missing;
constexpr auto kRefused = StoredPassword::Outcome::Refused;

// The values go back as they came, and the password as the user left it: typed, removed or
// kept (nothing: the stored one is read when the mail needs it).
TEST(MailSecurityModelTest, LoadAndApplyCarryTheValuesAndThePassword) {
    enum class Act { Nothing, Type, Remove, RemoveThenType, ClearTyped };
    const struct {
        const char* name;
        std::optional<std::string> given;
        StoredPassword::Outcome stored;
        Act act;
        std::optional<std::string> applied;
        UiText state;
    } cases[] = {
        {"kept", std::nullopt, kFound, Act::Nothing, std::nullopt, UiText::PasswordStored},
        {"none stored", std::nullopt, kMissing, Act::Nothing, std::nullopt,
         UiText::PasswordNotStored},
        {"typed", std::nullopt, kFound, Act::Type, "s3cret", UiText::PasswordTyped},
        {"removed", std::nullopt, kFound, Act::Remove, "", UiText::PasswordToRemove},
        {"removed, then typed", std::nullopt, kFound, Act::RemoveThenType, "s3cret",
         UiText::PasswordTyped},
        {"typed earlier shows again", "earlier", kMissing, Act::Nothing, "earlier",
         UiText::PasswordTyped},
        {"typed earlier, cleared: the stored one", "earlier", kFound, Act::ClearTyped, std::nullopt,
         UiText::PasswordStored},
        {"removed earlier stays removed", "", kFound, Act::Nothing, "", UiText::PasswordToRemove},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MailSecurity given;
        given.SmtpSecurity = "starttls";
        given.SmtpVerify = "fingerprint";
        given.SmtpFingerprint = std::string(64, 'a');
        given.SmtpUser = "watch@example.jp";
        given.SmtpTokenCommand = "get-token --for mail";
        given.SmtpPassword = c.given;
        MailSecurityModel model;
        model.Load(given, Stored(c.stored));
        EXPECT_EQ(model.Password, c.given.value_or("")) << "what the masked field shows";
        switch (c.act) {
            case Act::Nothing:
                break;
            case Act::Type:
                model.Password = "s3cret";
                break;
            case Act::Remove:
                model.RemovePassword = true;
                break;
            case Act::RemoveThenType:
                model.RemovePassword = true;
                model.Password = "s3cret";
                break;
            case Act::ClearTyped:
                model.Password.clear();
                break;
        }
        EXPECT_EQ(model.PasswordState(), Text(c.state));
        MailSecurity applied;
        model.ApplyTo(applied);
        EXPECT_EQ(applied.SmtpSecurity, "starttls");
        EXPECT_EQ(applied.SmtpVerify, "fingerprint");
        EXPECT_EQ(applied.SmtpFingerprint, given.SmtpFingerprint);
        EXPECT_EQ(applied.SmtpUser, "watch@example.jp");
        EXPECT_EQ(applied.SmtpTokenCommand, "get-token --for mail");
        EXPECT_EQ(applied.SmtpPassword, c.applied);
    }
}

TEST(MailSecurityModelTest, AnUnreadableStoredPasswordSaysWhy) {
    MailSecurityModel model;
    model.Load(MailSecurity{}, Stored(kRefused, "mode 0644 lets others read it"));
    EXPECT_EQ(model.PasswordState(),
              Text(UiText::PasswordUnreadable) + "mode 0644 lets others read it");
}

// The fingerprint only when it decides; the certificate choice, user, password and token only
// over TLS, since AUTH is never sent in plain text; removing only what is there.
TEST(MailSecurityModelTest, TheChoicesEnableTheirControls) {
    const struct {
        const char* security;
        const char* verify;
        StoredPassword::Outcome stored;
        bool removing;
        std::set<int> enabled;
    } cases[] = {
        {"none", "full", kFound, false, {}},
        {"none", "fingerprint", kFound, false, {}},
        {"starttls",
         "full",
         kMissing,
         false,
         {VerifyChoice, SmtpUserField, SmtpPasswordField, TokenCommandField}},
        {"tls",
         "fingerprint",
         kFound,
         false,
         {VerifyChoice, FingerprintField, SmtpUserField, SmtpPasswordField, PasswordRemoveCommand,
          TokenCommandField}},
        {"starttls",
         "none",
         kRefused,
         false,
         {VerifyChoice, SmtpUserField, SmtpPasswordField, PasswordRemoveCommand,
          TokenCommandField}},
        {"tls",
         "full",
         kFound,
         true,
         {VerifyChoice, SmtpUserField, SmtpPasswordField, TokenCommandField}},
        {"bogus",
         "bogus",
         kFound,
         false,  // set by hand: taken as TLS until the user chooses
         {VerifyChoice, SmtpUserField, SmtpPasswordField, PasswordRemoveCommand,
          TokenCommandField}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.security) + " " + c.verify);
        MailSecurity given;
        given.SmtpSecurity = c.security;
        given.SmtpVerify = c.verify;
        MailSecurityModel model;
        model.Load(given, Stored(c.stored));
        model.RemovePassword = c.removing;
        for (int id : MailSecurityModel::RuledControls()) {
            EXPECT_EQ(model.ControlEnabled(id), c.enabled.count(id) == 1) << id;
        }
        for (int id : {SecurityChoice, SecurityOkCommand, SecurityCancelCommand}) {
            EXPECT_TRUE(model.ControlEnabled(id)) << id;
        }
    }
}

// Each value keeps its setting's rule, as tolvanectl set checks it; a refusal names the field
// by its label and the setting with its rule, and points at the control.
TEST(MailSecurityModelTest, ValuesThatBreakTheirRulesAreRefusedNamingThem) {
    const std::string fingerprint =
        "AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:"
        "45:67:89";
    const struct {
        const char* name;
        std::string MailSecurityModel::*value;
        std::string text;
        int control;  // 0: accepted
        const char* label;
        const char* setting;
    } cases[] = {
        {"security by hand", &MailSecurityModel::SmtpSecurity, "ssl", SecurityChoice, "暗号化",
         "SmtpSecurity"},
        {"verify by hand", &MailSecurityModel::SmtpVerify, "", VerifyChoice, "証明書の確認",
         "SmtpVerify"},
        {"short fingerprint", &MailSecurityModel::SmtpFingerprint, "AB:CD", FingerprintField,
         "フィンガープリント", "SmtpFingerprint"},
        {"fingerprint with colons", &MailSecurityModel::SmtpFingerprint, fingerprint, 0, "", ""},
        {"fingerprint of hex digits", &MailSecurityModel::SmtpFingerprint, std::string(64, 'f'), 0,
         "", ""},
        {"user with a tab", &MailSecurityModel::SmtpUser, "a\tb", SmtpUserField, "ユーザー名",
         "SmtpUser"},
        {"token command with a line break", &MailSecurityModel::SmtpTokenCommand, "a\r\nb",
         TokenCommandField, "トークンのコマンド", "SmtpTokenCommand"},
        {"token command", &MailSecurityModel::SmtpTokenCommand, "oauth2 token --quiet", 0, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MailSecurityModel model;
        model.Load(MailSecurity{}, Stored(kMissing));
        model.*c.value = c.text;
        std::string refusal;
        int control = 0;
        EXPECT_EQ(model.Check(refusal, control), c.control == 0);
        EXPECT_EQ(control, c.control);
        if (c.control == 0) {
            EXPECT_EQ(refusal, "");
            continue;
        }
        const std::string head = Sjis(std::string("「") + c.label + "」の値が正しくありません。\n");
        EXPECT_EQ(refusal.rfind(head + c.setting + ": must be ", 0), 0u) << refusal;
    }
}

TEST(MailSecurityModelTest, ChoicesMapToTheSettingsValues) {
    const auto security = MailSecurityModel::SecurityChoices();
    ASSERT_EQ(security.size(), 3u);
    EXPECT_EQ(MailSecurityModel::ChoiceValue(security, 0), "none");
    EXPECT_EQ(Text(security[0].text), Sjis("なし"));
    EXPECT_EQ(MailSecurityModel::ChoiceIndex(security, "tls"), 2);
    EXPECT_EQ(MailSecurityModel::ChoiceIndex(security, "TLS"), -1) << "values are exact";
    EXPECT_EQ(MailSecurityModel::ChoiceValue(security, -1), "");
    const auto verify = MailSecurityModel::VerifyChoices();
    ASSERT_EQ(verify.size(), 3u);
    for (const char* value : {"full", "fingerprint", "none"}) {
        EXPECT_EQ(
            MailSecurityModel::ChoiceValue(verify, MailSecurityModel::ChoiceIndex(verify, value)),
            value);
    }
}

TEST(MailSecurityModelTest, TextsShiftJisCannotHoldAreRefusedNamingTheField) {
    const struct {
        int id;
        const char* named;
    } cases[] = {{FingerprintField, "フィンガープリント"},
                 {SmtpUserField, "ユーザー名"},
                 {SmtpPasswordField, "パスワード"},
                 {TokenCommandField, "トークンのコマンド"}};
    ASSERT_EQ(MailSecurityModel::TextFields().size(), std::size(cases));
    for (const auto& c : cases) {
        EXPECT_EQ(
            MailSecurityModel::TextNotStorable(c.id),
            Sjis(std::string("「") + c.named + "」には Shift_JIS で保存できない文字があります。"));
    }
}

}  // namespace
}  // namespace tolvane
