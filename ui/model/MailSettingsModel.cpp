#include "ui/model/MailSettingsModel.h"

#include <array>

#include "mail/MailTexts.h"
#include "mail/SendTestMail.h"
#include "settings/SmtpPassword.h"
#include "ui/model/CommandId.h"
#include "ui/model/UiTexts.h"

namespace tolvane {

namespace {

// Which controls follow which flags; the radio buttons, labels and the group never change.
struct EnablingRule {
    int id;
    bool needsMailFields;  // besides Idle
};
constexpr EnablingRule kEnablingRules[] = {
    {MailOkCommand, false},      {MailCancelCommand, false}, {MailSendTestCommand, true},
    {MailSmtpField, true},       {MailSmtpPortField, true},  {MailFromField, true},
    {MailToField, true},         {MailSubjectField, true},   {MailBodyField, true},
    {MailAdvancedCommand, true},
};
constexpr auto kRuledControls = [] {
    std::array<int, std::size(kEnablingRules)> ids{};
    for (std::size_t i = 0; i < ids.size(); ++i) {
        ids[i] = kEnablingRules[i].id;
    }
    return ids;
}();

constexpr MailSettingsModel::TextField kTextFields[] = {
    {MailBodyField, &MailSettingsModel::Body},       {MailFromField, &MailSettingsModel::From},
    {MailSubjectField, &MailSettingsModel::Subject}, {MailToField, &MailSettingsModel::To},
    {MailSmtpField, &MailSettingsModel::Smtp},
};

// The label that names a field in a refusal.
UiText FieldLabel(int id) {
    const struct {
        int id;
        UiText label;
    } kLabels[] = {{MailBodyField, UiText::BodyName},
                   {MailFromField, UiText::FromLabel},
                   {MailSubjectField, UiText::SubjectLabel},
                   {MailToField, UiText::ToLabel},
                   {MailSmtpField, UiText::SmtpLabel}};
    for (const auto& label : kLabels) {
        if (label.id == id) {
            return label.label;
        }
    }
    return UiText::BodyName;
}

}  // namespace

std::span<const MailSettingsModel::TextField> MailSettingsModel::TextFields() {
    return kTextFields;
}

std::string MailSettingsModel::TextNotStorable(int id) {
    return tolvane::TextNotStorable(FieldLabel(id));
}

void MailSettingsModel::Initialise() {
    if (WithMail != 0) {
        MailFieldsEnabled = 1;
    }
}

std::span<const int> MailSettingsModel::RuledControls() {
    return kRuledControls;
}

bool MailSettingsModel::ControlEnabled(int id) const {
    for (const EnablingRule& rule : kEnablingRules) {
        if (rule.id == id) {
            return Idle != 0 && (!rule.needsMailFields || MailFieldsEnabled != 0);
        }
    }
    return true;
}

void MailSettingsModel::SendTest(MailSettingsView& view, const MailDispatch& sendMail) {
    if (!view.ExchangeFromControls()) {
        return;
    }
    const TestMailResult result =
        SendTestMail(From, To, Subject, Body, Smtp, SmtpPort, Security, sendMail, [&] {
            view.ShowAddresses();
            Idle = 0;
            MailFieldsEnabled = 0;
            view.UpdateEnabledStates();
            view.RepaintNow();
        });
    if (result.outcome == TestMailResult::Outcome::AddressMissing) {
        view.ShowAddresses();
        view.Message(false, result.message, {});
        return;
    }
    view.Message(result.outcome == TestMailResult::Outcome::Sent, result.message, {});

    view.RepaintNow();
    Idle = 1;
    MailFieldsEnabled = 1;
    view.UpdateEnabledStates();
}

bool MailSettingsModel::Accept(MailSettingsView& view) {
    if (!view.ExchangeFromControls()) {
        return false;
    }
    if (WithMail != 0 && (TrimBlanks(From).empty() || TrimBlanks(To).empty())) {
        view.Message(false, mailtexts::AddressMissing(), {});
        return false;
    }
    return true;
}

bool MailSettingsModel::Store(MailSettingsView& view, SettingsStore& store) const {
    // The password first: when it cannot be kept, nothing is saved and the dialog stays open.
    std::string reason;
    if (Security.SmtpPassword && !StoreSmtpPassword(*Security.SmtpPassword, reason)) {
        view.Message(false, Text(UiText::PasswordNotSaved) + "\n", reason);
        return false;
    }
    Settings record;
    GiveTo(record);
    if (store.SaveMailSettings(record) != 0) {
        return true;
    }
    view.Message(false, Text(UiText::SettingsNotSaved) + "\n", store.LastError());
    return false;
}

bool MailSettingsModel::CutBodyToStore(std::string& body) {
    if (body.size() < kSettingsTextLimit) {
        return false;
    }
    body = CutCp932(body, kSettingsTextLimit - 1);
    if (!body.empty() && body.back() == '\r') {
        body.pop_back();  // a line break is CR LF or nothing
    }
    return true;
}

void MailSettingsModel::TakeFrom(const Settings& record) {
    CopyMailValues(record, *this);
    CopyMailSecurityValues(record, Security);
}

void MailSettingsModel::GiveTo(Settings& record) const {
    CopyMailValues(*this, record);
    CopyMailSecurityValues(Security, record);
}

}  // namespace tolvane
