#pragma once

#include <QDialog>
#include <map>
#include <string>

#include "ui/model/MailSecurityModel.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace tolvane {

// The mail's TLS and authentication, opened by "詳細" in the mail settings dialog. Works on
// its own copy of the values; OK hands them back, Cancel changes nothing.
class MailSecurityDialog : public QDialog, public MailSecurityModel {
    Q_OBJECT
public:
    explicit MailSecurityDialog(QWidget* owner = nullptr);

    // Runs the dialog on the values (and on whether a password is stored) and gives them back
    // when it ended with OK. True for OK.
    static bool Edit(MailSecurity& security, QWidget* owner);

    // The control with the template's id (1101 ... 1108, 1, 2), or null.
    QWidget* Control(int id) const;

    void setVisible(bool visible) override;

public slots:
    void accept() override;

private:
    void ExchangeToControls();
    bool ExchangeFromControls();
    void UpdateStates();
    void Refuse(const std::string& cp932, int id);

    bool initialised_ = false;
    QComboBox* security_;
    QComboBox* verify_;
    QLineEdit* password_;
    QLabel* passwordState_;
    std::map<int, QWidget*> controls_;
};

}  // namespace tolvane
