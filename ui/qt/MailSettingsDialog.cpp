#include "ui/qt/MailSettingsDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

#include "ui/model/CommandId.h"
#include "ui/model/DialogTemplates.h"
#include "ui/qt/DialogFocus.h"
#include "ui/qt/DialogLayout.h"
#include "ui/qt/GroupFrame.h"
#include "ui/qt/MailSecurityDialog.h"
#include "ui/qt/MessageBox.h"
#include "ui/qt/NumberField.h"
#include "ui/qt/ProgramIcon.h"
#include "ui/qt/RadioGroup.h"
#include "ui/qt/UiTexts.h"

namespace tolvane {

namespace {

// The body is kept with CR LF line ends; the edit shows plain line breaks.
QString BodyForDisplay(const std::string& body) {
    QString text = ToQString(body);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

QString BodyWithCrLf(const QString& shown) {
    QString text = shown;
    text.replace(u'\n', QStringLiteral("\r\n"));
    return text;
}

std::string BodyFromDisplay(const QString& shown) {
    return FromQString(BodyWithCrLf(shown));
}

}  // namespace

MailSettingsDialog::MailSettingsDialog(SettingsStore& store, MailDispatch sendMail, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      store_(store),
      sendMail_(std::move(sendMail)) {
    setObjectName(QStringLiteral("MailSettingsDialog"));
    setWindowTitle(QText(UiText::MailCaption));
    setWindowIcon(ProgramIcon());
    setFont(owner != nullptr ? owner->font() : DialogFont());

    // Created in the template's order, which is also the tab order.
    noMail_ = new QRadioButton(QText(UiText::MailOffRadio), this);
    withMail_ = new QRadioButton(QText(UiText::MailOnRadio), this);
    new RadioGroup({noMail_, withMail_}, this);
    auto* group = new GroupFrame(QText(UiText::MailGroup), this);
    from_ = new QLineEdit(this);
    auto* fromLabel = FieldLabel(UiText::FromLabel, from_, this);
    to_ = new QLineEdit(this);
    auto* toLabel = FieldLabel(UiText::ToLabel, to_, this);
    subject_ = new QLineEdit(this);
    auto* subjectLabel = FieldLabel(UiText::SubjectLabel, subject_, this);
    body_ = new QPlainTextEdit(this);
    body_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    body_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    body_->setTabChangesFocus(true);
    smtp_ = new QLineEdit(this);
    auto* smtpLabel = FieldLabel(UiText::SmtpLabel, smtp_, this);
    port_ = new QLineEdit(this);
    port_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), port_));
    auto* portLabel = FieldLabel(UiText::SmtpPortLabel, port_, this);
    sendTest_ = new QPushButton(QText(UiText::SendTestButton), this);
    sendTest_->setDefault(true);
    ok_ = new QPushButton(QText(UiText::OkButton), this);
    cancel_ = new QPushButton(QText(UiText::CancelButton), this);
    // Added after the template's controls, and in the tab order after the send test beside it.
    advanced_ = new QPushButton(QText(UiText::AdvancedButton), this);
    setTabOrder(sendTest_, advanced_);
    controls_ = {
        {MailOffRadio, noMail_}, {MailOnRadio, withMail_},     {MailFromField, from_},
        {MailToField, to_},      {MailSubjectField, subject_}, {MailBodyField, body_},
        {MailSmtpField, smtp_},  {MailSmtpPortField, port_},   {MailSendTestCommand, sendTest_},
        {MailOkCommand, ok_},    {MailCancelCommand, cancel_}, {MailAdvancedCommand, advanced_}};
    for (const auto& [id, control] : controls_) {
        control->setObjectName(QString::number(id));
    }

    DialogLayout layout;
    layout.Add(noMail_, AT_MAIL_OFF);
    layout.Add(withMail_, AT_MAIL_ON);
    layout.Add(group, AT_MAIL_GROUP);
    layout.Add(fromLabel, AT_MAIL_FROM_LABEL);
    layout.Add(from_, AT_MAIL_FROM, false);
    layout.Add(toLabel, AT_MAIL_TO_LABEL);
    layout.Add(to_, AT_MAIL_TO, false);
    layout.Add(subjectLabel, AT_MAIL_SUBJECT_LABEL);
    layout.Add(subject_, AT_MAIL_SUBJECT, false);
    layout.Add(body_, AT_MAIL_BODY, false);
    layout.Add(smtpLabel, AT_MAIL_SMTP_LABEL);
    layout.Add(smtp_, AT_MAIL_SMTP, false);
    layout.Add(portLabel, AT_MAIL_SMTP_PORT_LABEL);
    layout.Add(port_, AT_MAIL_SMTP_PORT, false);
    layout.Add(sendTest_, AT_MAIL_SEND_TEST);
    layout.Add(ok_, AT_MAIL_OK);
    layout.Add(cancel_, AT_MAIL_CANCEL);
    layout.Add(advanced_, AT_MAIL_ADVANCED);
    layout.Apply(this, SIZE_MAIL_DIALOG);
    group->lower();  // a frame behind the fields it surrounds

    connect(noMail_, &QRadioButton::clicked, this, [this] {
        MailFieldsEnabled = 0;
        UpdateEnabledStates();
    });
    connect(withMail_, &QRadioButton::clicked, this, [this] {
        MailFieldsEnabled = 1;
        UpdateEnabledStates();
    });
    // The store reads a text back only up to its limit, so the body stops growing there.
    // The line edits stop at 32,767 characters, which CP932 never makes more than 65,534
    // bytes.
    connect(body_, &QPlainTextEdit::textChanged, this, [this] {
        std::string body = BodyFromDisplay(body_->toPlainText());
        if (!CutBodyToStore(body)) {
            return;
        }
        body_->setPlainText(BodyForDisplay(body));
        body_->moveCursor(QTextCursor::End);
    });
    connect(sendTest_, &QPushButton::clicked, this, [this] { SendTest(*this, sendMail_); });
    connect(advanced_, &QPushButton::clicked, this,
            [this] { MailSecurityDialog::Edit(Security, this); });
    connect(ok_, &QPushButton::clicked, this, &MailSettingsDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &MailSettingsDialog::reject);
}

bool MailSettingsDialog::Edit(Settings& record, SettingsStore& store, MailDispatch sendMail,
                              QWidget* owner) {
    MailSettingsDialog dialog(store, std::move(sendMail), owner);
    dialog.TakeFrom(record);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    dialog.GiveTo(record);
    return true;
}

QWidget* MailSettingsDialog::Control(int id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

void MailSettingsDialog::setVisible(bool visible) {
    if (visible && !initialised_) {
        initialised_ = true;
        InitialiseWindow();
    }
    QDialog::setVisible(visible);
}

void MailSettingsDialog::InitialiseWindow() {
    ExchangeToControls();
    Initialise();
    UpdateEnabledStates();
    FocusFirstControl(this, true);
}

void MailSettingsDialog::ExchangeToControls() {
    body_->setPlainText(BodyForDisplay(Body));
    from_->setText(ToQString(From));
    subject_->setText(ToQString(Subject));
    to_->setText(ToQString(To));
    // An auto-exclusive radio button refuses to be unchecked; lift that for a moment so a
    // WithMail of neither 0 nor 1 can show no choice.
    for (QRadioButton* radio : {noMail_, withMail_}) {
        radio->setAutoExclusive(false);
    }
    noMail_->setChecked(WithMail == 0);
    withMail_->setChecked(WithMail == 1);
    for (QRadioButton* radio : {noMail_, withMail_}) {
        radio->setAutoExclusive(true);
    }
    smtp_->setText(ToQString(Smtp));
    port_->setText(QString::number(SmtpPort));
}

bool MailSettingsDialog::ExchangeFromControls() {
    for (const auto& field : TextFields()) {
        QWidget* control = Control(field.id);
        const auto* line = qobject_cast<QLineEdit*>(control);
        const QString text = line != nullptr ? line->text() : BodyWithCrLf(body_->toPlainText());
        if (!StorableText(text, this->*field.value)) {
            Message(false, TextNotStorable(field.id), {});
            control->setFocus(Qt::OtherFocusReason);
            return false;
        }
    }
    WithMail = noMail_->isChecked() ? 0 : withMail_->isChecked() ? 1 : kNoRadio;
    return ReadNumberField(this, port_, RuleOf(&Settings::SmtpPort), SmtpPort);
}

void MailSettingsDialog::ShowAddresses() {
    from_->setText(ToQString(From));
    to_->setText(ToQString(To));
}

void MailSettingsDialog::UpdateEnabledStates() {
    for (int id : RuledControls()) {
        Control(id)->setEnabled(ControlEnabled(id));
    }
}

void MailSettingsDialog::RepaintNow() {
    repaint();
}

void MailSettingsDialog::Message(bool information, const std::string& cp932,
                                 const std::string& systemText) {
    MessageBox::ShowProgramMessage(this, information, cp932, systemText);
}

void MailSettingsDialog::accept() {
    // Ending takes the controls once more: the addresses are stored as typed, blanks and all;
    // the trimming served only the check. They are stored before the dialog ends, so that a
    // refused store is told and what was typed stays.
    if (Accept(*this) && ExchangeFromControls() && Store(*this, store_)) {
        QDialog::accept();
    }
}

}  // namespace tolvane
