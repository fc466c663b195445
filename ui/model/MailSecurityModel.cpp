#include "ui/model/MailSecurityModel.h"

#include "settings/Settings.h"
#include "ui/model/CommandId.h"

namespace tolvane {

namespace {

constexpr MailSecurityModel::Choice kSecurityChoices[] = {
    {"none", UiText::SecurityNone},
    {"starttls", UiText::SecurityStartTls},
    {"tls", UiText::SecurityTls},
};
constexpr MailSecurityModel::Choice kVerifyChoices[] = {
    {"full", UiText::VerifyFull},
    {"fingerprint", UiText::VerifyFingerprint},
    {"none", UiText::VerifyNone},
};

// Each value: its setting, the control that holds it and the label that names it.
struct ValueField {
    const char* setting;
    std::string MailSecurityModel::*value;
    int control;
    UiText label;
};
const ValueField kValueFields[] = {
    {"SmtpSecurity", &MailSecurityModel::SmtpSecurity, SecurityChoice, UiText::SecurityLabel},
    {"SmtpVerify", &MailSecurityModel::SmtpVerify, VerifyChoice, UiText::VerifyLabel},
    {"SmtpFingerprint", &MailSecurityModel::SmtpFingerprint, FingerprintField,
     UiText::FingerprintLabel},
    {"SmtpUser", &MailSecurityModel::SmtpUser, SmtpUserField, UiText::UserLabel},
    {"SmtpTokenCommand", &MailSecurityModel::SmtpTokenCommand, TokenCommandField,
     UiText::TokenCommandLabel},
};

constexpr MailSecurityModel::TextField kTextFields[] = {
    {FingerprintField, &MailSecurityModel::SmtpFingerprint},
    {SmtpUserField, &MailSecurityModel::SmtpUser},
    {SmtpPasswordField, &MailSecurityModel::Password},
    {TokenCommandField, &MailSecurityModel::SmtpTokenCommand},
};

// The label of a field; the password's has no setting of its own.
UiText LabelOf(int control) {
    for (const ValueField& field : kValueFields) {
        if (field.control == control) {
            return field.label;
        }
    }
    return UiText::PasswordLabel;
}

constexpr int kRuledControls[] = {VerifyChoice,      FingerprintField,      SmtpUserField,
                                  SmtpPasswordField, PasswordRemoveCommand, TokenCommandField};

}  // namespace

std::span<const MailSecurityModel::Choice> MailSecurityModel::SecurityChoices() {
    return kSecurityChoices;
}

std::span<const MailSecurityModel::Choice> MailSecurityModel::VerifyChoices() {
    return kVerifyChoices;
}

int MailSecurityModel::ChoiceIndex(std::span<const Choice> choices, const std::string& value) {
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (value == choices[i].value) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string MailSecurityModel::ChoiceValue(std::span<const Choice> choices, int index) {
    return index >= 0 && static_cast<std::size_t>(index) < choices.size() ? choices[index].value
                                                                          : "";
}

void MailSecurityModel::Load(const MailSecurity& security, const StoredPassword& stored) {
    CopyMailSecurityValues(security, *this);
    Password = security.SmtpPassword.value_or("");
    RemovePassword = security.SmtpPassword.has_value() && security.SmtpPassword->empty();
    stored_ = stored.outcome;
    storedReason_ = stored.reason;
}

std::span<const int> MailSecurityModel::RuledControls() {
    return kRuledControls;
}

bool MailSecurityModel::ControlEnabled(int id) const {
    // Without TLS there is no certificate to judge, and AUTH is never sent in plain text.
    const bool tls = SmtpSecurity != "none";
    switch (id) {
        case VerifyChoice:
            return tls;
        case FingerprintField:
            return tls && SmtpVerify == "fingerprint";
        case SmtpUserField:
        case SmtpPasswordField:
        case TokenCommandField:
            return tls;
        case PasswordRemoveCommand:
            return tls && stored_ != StoredPassword::Outcome::Missing && !RemovePassword;
        default:
            return true;
    }
}

std::string MailSecurityModel::PasswordState() const {
    if (!Password.empty()) {
        return Text(UiText::PasswordTyped);
    }
    if (RemovePassword) {
        return Text(UiText::PasswordToRemove);
    }
    switch (stored_) {
        case StoredPassword::Outcome::Found:
            return Text(UiText::PasswordStored);
        case StoredPassword::Outcome::Refused:
            return Text(UiText::PasswordUnreadable) + storedReason_;
        case StoredPassword::Outcome::Missing:
            break;
    }
    return Text(UiText::PasswordNotStored);
}

bool MailSecurityModel::Check(std::string& refusal, int& control) const {
    Settings record;
    CopyMailSecurityValues(*this, record);
    for (const ValueField& field : kValueFields) {
        std::string rule;
        if (!KeepsRule(*FindSettingsField(field.setting), record, rule)) {
            refusal = Text(UiText::ValueRefused);
            refusal.replace(refusal.find("%1"), 2, LabelName(field.label));
            refusal += rule;
            control = field.control;
            return false;
        }
    }
    return true;
}

void MailSecurityModel::ApplyTo(MailSecurity& security) const {
    CopyMailSecurityValues(*this, security);
    if (!Password.empty()) {
        security.SmtpPassword = Password;
    } else if (RemovePassword) {
        security.SmtpPassword = std::string();
    } else {
        security.SmtpPassword.reset();
    }
}

std::span<const MailSecurityModel::TextField> MailSecurityModel::TextFields() {
    return kTextFields;
}

std::string MailSecurityModel::TextNotStorable(int id) {
    return tolvane::TextNotStorable(LabelOf(id));
}

}  // namespace tolvane
