#pragma once

#include <span>
#include <string>

#include "mail/MailDispatch.h"
#include "settings/SmtpPassword.h"
#include "ui/model/UiTexts.h"

namespace tolvane {

// The small dialog of the mail's TLS and authentication, opened by "詳細" in the mail settings
// dialog, without its toolkit: the values as its controls show them, which controls they
// enable, the settings' rules they must keep, and how they go back to the mail settings.
class MailSecurityModel {
public:
    // An entry of a drop-down list: the value it stands for and its text.
    struct Choice {
        const char* value;
        UiText text;
    };
    static std::span<const Choice> SecurityChoices();
    static std::span<const Choice> VerifyChoices();
    // The entry that shows the value, or -1 (a value set by hand that no entry shows).
    static int ChoiceIndex(std::span<const Choice> choices, const std::string& value);
    // The value of an entry; an empty text for -1.
    static std::string ChoiceValue(std::span<const Choice> choices, int index);

    std::string SmtpSecurity;
    std::string SmtpVerify;
    std::string SmtpFingerprint;
    std::string SmtpUser;
    std::string SmtpTokenCommand;
    // A typed password replaces the stored one; empty keeps it.
    std::string Password;
    // The stored password goes when the mail settings are saved (unless one is typed).
    bool RemovePassword = false;

    // From the mail settings; `stored` tells whether a password is kept (its value is not
    // taken). A password typed or removed in an earlier opening shows as such again.
    void Load(const MailSecurity& security, const StoredPassword& stored);

    // The controls whose state follows the choices.
    static std::span<const int> RuledControls();
    bool ControlEnabled(int id) const;
    // What happens to the password, for the line beside its field.
    std::string PasswordState() const;

    // Whether every value keeps its setting's rule; when one does not, the message that names
    // it and the control that holds it.
    bool Check(std::string& refusal, int& control) const;
    // The values back into the mail settings: a typed password, or the removal as an empty
    // one, into SmtpPassword, for the send test and the save.
    void ApplyTo(MailSecurity& security) const;

    // The text fields in the order the views take them.
    struct TextField {
        int id;
        std::string MailSecurityModel::*value;
    };
    static std::span<const TextField> TextFields();
    // The refusal of a field's text that Shift_JIS cannot hold, naming the field.
    static std::string TextNotStorable(int id);

private:
    StoredPassword::Outcome stored_ = StoredPassword::Outcome::Missing;
    std::string storedReason_;
};

}  // namespace tolvane
