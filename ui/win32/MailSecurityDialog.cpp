#include "ui/win32/MailSecurityDialog.h"

#include <array>
#include <optional>

#include "os/Win32Text.h"
#include "ui/model/CommandId.h"
#include "ui/win32/MessageBox.h"
#include "ui/win32/NumberField.h"
#include "ui/win32/WindowText.h"

namespace tolvane {

namespace {

// The texts of template 133's controls, in its order.
constexpr std::array<std::optional<UiText>, 16> kControlTexts{
    UiText::SecurityLabel,     std::nullopt, UiText::VerifyLabel, std::nullopt,
    UiText::FingerprintLabel,  std::nullopt, UiText::UserLabel,   std::nullopt,
    UiText::PasswordLabel,     std::nullopt, std::nullopt,        UiText::RemovePasswordButton,
    UiText::TokenCommandLabel, std::nullopt, UiText::OkButton,    UiText::CancelButton};

void FillList(HWND dialog, int id, std::span<const MailSecurityModel::Choice> choices,
              const std::string& value) {
    for (const auto& choice : choices) {
        SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(ToWide(Text(choice.text)).c_str()));
    }
    // A value set by hand that no entry shows leaves the list without a choice.
    SendDlgItemMessageW(dialog, id, CB_SETCURSEL,
                        static_cast<WPARAM>(MailSecurityModel::ChoiceIndex(choices, value)), 0);
}

std::string ListValue(HWND dialog, int id, std::span<const MailSecurityModel::Choice> choices) {
    return MailSecurityModel::ChoiceValue(
        choices, static_cast<int>(SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0)));
}

}  // namespace

// The dialog procedure: binds the window to its object, then hands the commands on.
struct MailSecurityProcedure {
    static INT_PTR CALLBACK Run(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            auto* self = reinterpret_cast<MailSecurityDialog*>(lParam);
            SetWindowLongPtrW(window, DWLP_USER, lParam);
            self->window_ = window;
            self->Initialise();
            return FALSE;
        }
        auto* self = reinterpret_cast<MailSecurityDialog*>(GetWindowLongPtrW(window, DWLP_USER));
        if (self == nullptr || message != WM_COMMAND) {
            return FALSE;
        }
        return self->Command(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    }
};

bool MailSecurityDialog::Edit(HWND owner, MailSecurity& security) {
    MailSecurityDialog dialog;
    dialog.model_.Load(security, ReadSmtpPassword());
    if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(ID_MAIL_SECURITY_DIALOG), owner,
                        MailSecurityProcedure::Run, reinterpret_cast<LPARAM>(&dialog)) != IDOK) {
        return false;
    }
    dialog.model_.ApplyTo(security);
    return true;
}

void MailSecurityDialog::Initialise() {
    SetTextCp932(window_, Text(UiText::SecurityCaption));
    SetChildTexts(window_, kControlTexts);
    FillList(window_, SecurityChoice, MailSecurityModel::SecurityChoices(), model_.SmtpSecurity);
    FillList(window_, VerifyChoice, MailSecurityModel::VerifyChoices(), model_.SmtpVerify);
    for (const auto& field : MailSecurityModel::TextFields()) {
        SetItemTextCp932(window_, field.id, model_.*field.value);
    }
    UpdateStates();
    FocusControl(window_, GetDlgItem(window_, SecurityChoice));
}

void MailSecurityDialog::UpdateStates() {
    for (int id : MailSecurityModel::RuledControls()) {
        EnableWindow(GetDlgItem(window_, id), model_.ControlEnabled(id) ? TRUE : FALSE);
    }
    SetItemTextCp932(window_, PasswordStateLine, model_.PasswordState());
}

bool MailSecurityDialog::Command(int id, int code) {
    switch (id) {
        case SecurityChoice:
        case VerifyChoice:
            if (code != CBN_SELCHANGE) {
                return false;
            }
            model_.SmtpSecurity = ListValue(window_, SecurityChoice, model_.SecurityChoices());
            model_.SmtpVerify = ListValue(window_, VerifyChoice, model_.VerifyChoices());
            UpdateStates();
            return true;
        case SmtpPasswordField:
            if (code != EN_CHANGE) {
                return false;
            }
            model_.Password = ItemTextCp932(window_, SmtpPasswordField);
            UpdateStates();
            return true;
        case PasswordRemoveCommand:
            model_.RemovePassword = true;
            SetDlgItemTextW(window_, SmtpPasswordField, L"");
            UpdateStates();
            // The button it was on is now disabled.
            FocusControl(window_, GetDlgItem(window_, SmtpPasswordField));
            return true;
        case IDOK:
            if (Accept()) {
                EndDialog(window_, IDOK);
            }
            return true;
        case IDCANCEL:
            EndDialog(window_, IDCANCEL);
            return true;
        default:
            return false;
    }
}

bool MailSecurityDialog::Accept() {
    for (const auto& field : MailSecurityModel::TextFields()) {
        if (!ItemTextStorable(window_, field.id, model_.*field.value)) {
            Refuse(MailSecurityModel::TextNotStorable(field.id), field.id);
            return false;
        }
    }
    std::string refusal;
    int id = 0;
    if (!model_.Check(refusal, id)) {
        Refuse(refusal, id);
        return false;
    }
    return true;
}

void MailSecurityDialog::Refuse(const std::string& cp932, int id) {
    ShowProgramMessage(window_, false, cp932);
    FocusControl(window_, GetDlgItem(window_, id));
}

}  // namespace tolvane
