#pragma once

#include <QDialog>
#include <cstdint>
#include <map>
#include <string>

#include "monitor/MonitorCycle.h"
#include "settings/SettingsStore.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace tolvane {

// Whether and how the administrator is mailed after a restart. Works on its own copy of the
// seven mail values; OK stores them and hands them back, Cancel changes nothing.
class MailSettingsDialog : public QDialog {
    Q_OBJECT
public:
    MailSettingsDialog(SettingsStore& store, MailDispatch sendMail, QWidget* owner = nullptr);

    // Runs the dialog on copies of the record's seven mail values and copies them back when
    // it ended with OK. True for OK.
    static bool Edit(Settings& record, SettingsStore& store, MailDispatch sendMail, QWidget* owner);

    // The control with the template's id (1014, 1015, 1010 ... 1, 2), or null.
    QWidget* Control(int id) const;

    // The dialog's values, CP932 texts.
    std::string Body;
    std::string From;
    std::string Subject;
    std::string To;
    std::uint32_t WithMail = 0;  // index of the checked radio button; all bits set for none
    std::string Smtp;
    std::uint32_t SmtpPort = 0;

    std::uint32_t Idle = 1;
    std::uint32_t MailFieldsEnabled = 0;

    void setVisible(bool visible) override;

public slots:
    void accept() override;

private:
    void Initialise();
    void ExchangeToControls();
    // False when a field was refused; the user has been told and the field has the focus.
    bool ExchangeFromControls();
    void UpdateEnabledStates();
    void SendTest();

    SettingsStore& store_;
    MailDispatch sendMail_;
    bool initialised_ = false;

    QRadioButton* noMail_;
    QRadioButton* withMail_;
    QLineEdit* from_;
    QLineEdit* to_;
    QLineEdit* subject_;
    QPlainTextEdit* body_;
    QLineEdit* smtp_;
    QLineEdit* port_;
    QPushButton* sendTest_;
    QPushButton* ok_;
    QPushButton* cancel_;
    std::map<int, QWidget*> controls_;
};

}  // namespace tolvane
