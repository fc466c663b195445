#pragma once

#include <QDialog>
#include <map>
#include <string>

#include "monitor/MonitorCycle.h"
#include "settings/SettingsStore.h"
#include "ui/model/MailSettingsModel.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace tolvane {

// Whether and how the administrator is mailed after a restart. Works on its own copy of the
// seven mail values and the TLS and authentication values (the model's, whose flow it shows);
// OK stores them and hands them back, Cancel changes nothing.
class MailSettingsDialog : public QDialog, public MailSettingsModel, private MailSettingsView {
    Q_OBJECT
public:
    MailSettingsDialog(SettingsStore& store, MailDispatch sendMail, QWidget* owner = nullptr);

    // Runs the dialog on copies of the record's mail values and copies them back when it ended
    // with OK. True for OK.
    static bool Edit(Settings& record, SettingsStore& store, MailDispatch sendMail, QWidget* owner);

    // The control with the template's id (1014, 1015, 1010 ... 1, 2, 1017), or null.
    QWidget* Control(int id) const;

    void setVisible(bool visible) override;

public slots:
    void accept() override;

private:
    void InitialiseWindow();
    void ExchangeToControls();
    // The model's view.
    bool ExchangeFromControls() override;
    void ShowAddresses() override;
    void UpdateEnabledStates() override;
    void RepaintNow() override;
    void Message(bool information, const std::string& cp932,
                 const std::string& systemText) override;

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
    QPushButton* advanced_;
    std::map<int, QWidget*> controls_;
};

}  // namespace tolvane
