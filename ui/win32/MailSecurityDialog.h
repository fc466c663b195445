#pragma once

#include <windows.h>

#include "ui/model/MailSecurityModel.h"

namespace tolvane {

// The mail's TLS and authentication from template 133 over MailSecurityModel, opened by "詳細"
// in the mail settings dialog.
class MailSecurityDialog {
public:
    // Runs the dialog modally on the values (and on whether a password is stored) and gives
    // them back when it ended with OK. True for OK.
    static bool Edit(HWND owner, MailSecurity& security);

private:
    MailSecurityDialog() = default;
    friend struct MailSecurityProcedure;
    void Initialise();
    void UpdateStates();
    bool Command(int id, int code);
    bool Accept();
    void Refuse(const std::string& cp932, int id);

    MailSecurityModel model_;
    HWND window_ = nullptr;
};

}  // namespace tolvane
