#include "ui/qt/MailSecurityDialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/model/CommandId.h"
#include "ui/model/DialogTemplates.h"
#include "ui/qt/DialogFocus.h"
#include "ui/qt/DialogLayout.h"
#include "ui/qt/MessageBox.h"
#include "ui/qt/ProgramIcon.h"
#include "ui/qt/UiTexts.h"

namespace tolvane {

namespace {

QComboBox* ChoiceList(std::span<const MailSecurityModel::Choice> choices, QWidget* parent) {
    auto* list = new QComboBox(parent);
    for (const auto& choice : choices) {
        list->addItem(QText(choice.text));
    }
    return list;
}

}  // namespace

MailSecurityDialog::MailSecurityDialog(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("MailSecurityDialog"));
    setWindowTitle(QText(UiText::SecurityCaption));
    setWindowIcon(ProgramIcon());
    setFont(owner != nullptr ? owner->font() : DialogFont());

    // Created in the template's order, which is also the tab order.
    security_ = ChoiceList(SecurityChoices(), this);
    auto* securityLabel = FieldLabel(UiText::SecurityLabel, security_, this);
    verify_ = ChoiceList(VerifyChoices(), this);
    auto* verifyLabel = FieldLabel(UiText::VerifyLabel, verify_, this);
    auto* fingerprint = new QLineEdit(this);
    auto* fingerprintLabel = FieldLabel(UiText::FingerprintLabel, fingerprint, this);
    auto* user = new QLineEdit(this);
    auto* userLabel = FieldLabel(UiText::UserLabel, user, this);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    auto* passwordLabel = FieldLabel(UiText::PasswordLabel, password_, this);
    passwordState_ = new QLabel(this);
    passwordState_->setTextFormat(Qt::PlainText);
    passwordState_->setWordWrap(true);
    passwordState_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* remove = new QPushButton(QText(UiText::RemovePasswordButton), this);
    auto* token = new QLineEdit(this);
    auto* tokenLabel = FieldLabel(UiText::TokenCommandLabel, token, this);
    auto* ok = new QPushButton(QText(UiText::OkButton), this);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QText(UiText::CancelButton), this);
    controls_ = {{SecurityChoice, security_},     {VerifyChoice, verify_},
                 {FingerprintField, fingerprint}, {SmtpUserField, user},
                 {SmtpPasswordField, password_},  {PasswordStateLine, passwordState_},
                 {PasswordRemoveCommand, remove}, {TokenCommandField, token},
                 {SecurityOkCommand, ok},         {SecurityCancelCommand, cancel}};
    for (const auto& [id, control] : controls_) {
        control->setObjectName(QString::number(id));
    }

    DialogLayout layout;
    layout.Add(securityLabel, AT_SECURITY_LABEL);
    layout.Add(security_, AT_SECURITY_CHOICE, CHOICE_HEIGHT, false);
    layout.Add(verifyLabel, AT_VERIFY_LABEL);
    layout.Add(verify_, AT_VERIFY_CHOICE, CHOICE_HEIGHT, false);
    layout.Add(fingerprintLabel, AT_FINGERPRINT_LABEL);
    layout.Add(fingerprint, AT_FINGERPRINT, false);
    layout.Add(userLabel, AT_SMTP_USER_LABEL);
    layout.Add(user, AT_SMTP_USER, false);
    layout.Add(passwordLabel, AT_SMTP_PASSWORD_LABEL);
    layout.Add(password_, AT_SMTP_PASSWORD, false);
    layout.Add(passwordState_, AT_PASSWORD_STATE, false);  // a reason may take two lines
    layout.Add(remove, AT_PASSWORD_REMOVE);
    layout.Add(tokenLabel, AT_TOKEN_COMMAND_LABEL);
    layout.Add(token, AT_TOKEN_COMMAND, false);
    layout.Add(ok, AT_SECURITY_OK);
    layout.Add(cancel, AT_SECURITY_CANCEL);
    layout.Apply(this, SIZE_SECURITY_DIALOG);

    connect(security_, &QComboBox::activated, this, [this](int index) {
        SmtpSecurity = ChoiceValue(SecurityChoices(), index);
        UpdateStates();
    });
    connect(verify_, &QComboBox::activated, this, [this](int index) {
        SmtpVerify = ChoiceValue(VerifyChoices(), index);
        UpdateStates();
    });
    connect(password_, &QLineEdit::textChanged, this, [this](const QString& text) {
        Password = FromQString(text);
        UpdateStates();
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        RemovePassword = true;
        password_->clear();
        UpdateStates();
        password_->setFocus(Qt::OtherFocusReason);  // the button it was on is now disabled
    });
    connect(ok, &QPushButton::clicked, this, &MailSecurityDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &MailSecurityDialog::reject);
}

bool MailSecurityDialog::Edit(MailSecurity& security, QWidget* owner) {
    MailSecurityDialog dialog(owner);
    dialog.Load(security, ReadSmtpPassword());
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    dialog.ApplyTo(security);
    return true;
}

QWidget* MailSecurityDialog::Control(int id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

void MailSecurityDialog::setVisible(bool visible) {
    if (visible && !initialised_) {
        initialised_ = true;
        ExchangeToControls();
        UpdateStates();
        FocusFirstControl(this);
    }
    QDialog::setVisible(visible);
}

void MailSecurityDialog::ExchangeToControls() {
    // A value set by hand that no entry shows leaves the list without a choice.
    security_->setCurrentIndex(ChoiceIndex(SecurityChoices(), SmtpSecurity));
    verify_->setCurrentIndex(ChoiceIndex(VerifyChoices(), SmtpVerify));
    for (const auto& field : TextFields()) {
        qobject_cast<QLineEdit*>(Control(field.id))->setText(ToQString(this->*field.value));
    }
}

bool MailSecurityDialog::ExchangeFromControls() {
    for (const auto& field : TextFields()) {
        if (!StorableText(qobject_cast<QLineEdit*>(Control(field.id))->text(),
                          this->*field.value)) {
            Refuse(TextNotStorable(field.id), field.id);
            return false;
        }
    }
    return true;
}

void MailSecurityDialog::UpdateStates() {
    for (int id : RuledControls()) {
        Control(id)->setEnabled(ControlEnabled(id));
    }
    passwordState_->setText(ToQString(PasswordState()));
}

void MailSecurityDialog::Refuse(const std::string& cp932, int id) {
    MessageBox::ShowProgramMessage(this, false, cp932, {});
    Control(id)->setFocus(Qt::OtherFocusReason);
}

void MailSecurityDialog::accept() {
    std::string refusal;
    int id = 0;
    if (!ExchangeFromControls()) {
        return;
    }
    if (!Check(refusal, id)) {
        Refuse(refusal, id);
        return;
    }
    QDialog::accept();
}

}  // namespace tolvane
