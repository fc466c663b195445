#include "ui/win32/MailSettingsDialog.h"

#include <windows.h>

#include <array>
#include <optional>

#include "ui/model/CommandId.h"
#include "ui/model/UiTexts.h"
#include "ui/win32/MailSecurityDialog.h"
#include "ui/win32/MessageBox.h"
#include "ui/win32/NumberField.h"
#include "ui/win32/WindowText.h"

namespace tolvane {

namespace {

constexpr int kTemplate = ID_MAIL_DIALOG;
// The texts of template 132's controls, in its order.
constexpr std::array<std::optional<UiText>, 18> kControlTexts{
    UiText::MailOffRadio,  UiText::MailOnRadio,   UiText::MailGroup,      UiText::FromLabel,
    std::nullopt,          UiText::ToLabel,       std::nullopt,           UiText::SubjectLabel,
    std::nullopt,          std::nullopt,          UiText::SmtpLabel,      std::nullopt,
    UiText::SmtpPortLabel, std::nullopt,          UiText::SendTestButton, UiText::OkButton,
    UiText::CancelButton,  UiText::AdvancedButton};

}  // namespace

// The dialog procedure: binds the window to its object, then hands the clicks on.
struct MailSettingsProcedure {
    static INT_PTR CALLBACK Run(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            auto* self = reinterpret_cast<MailSettingsDialog*>(lParam);
            SetWindowLongPtrW(window, DWLP_USER, lParam);
            self->window_ = window;
            self->Initialise();
            return FALSE;
        }
        auto* self = reinterpret_cast<MailSettingsDialog*>(GetWindowLongPtrW(window, DWLP_USER));
        if (self == nullptr || message != WM_COMMAND) {
            return FALSE;
        }
        if (LOWORD(wParam) == MailBodyField && HIWORD(wParam) == EN_CHANGE) {
            self->CutBody();
            return TRUE;
        }
        return HIWORD(wParam) == BN_CLICKED && self->Command(LOWORD(wParam)) ? TRUE : FALSE;
    }
};

bool MailSettingsDialog::Edit(HWND owner, Settings& record, SettingsStore& store,
                              MailDispatch sendMail) {
    MailSettingsDialog dialog(store, std::move(sendMail));
    dialog.model_.TakeFrom(record);
    if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kTemplate), owner,
                        MailSettingsProcedure::Run, reinterpret_cast<LPARAM>(&dialog)) != IDOK) {
        return false;
    }
    dialog.model_.GiveTo(record);
    return true;
}

void MailSettingsDialog::Initialise() {
    SetTextCp932(window_, Text(UiText::MailCaption));
    SetChildTexts(window_, kControlTexts);
    // The edit's default limit (some 30,000 characters) would stop the body short of what the
    // store takes. Every character is at least one CP932 byte, so a limit of one character
    // more than the store's bytes never cuts first (nor halves a line break): the cut in bytes
    // after each change decides.
    SendDlgItemMessageW(window_, MailBodyField, EM_SETLIMITTEXT, kSettingsTextLimit, 0);
    ExchangeToControls();
    model_.Initialise();
    UpdateEnabledStates();
    // The first enabled edit field, or the checked radio button while mail is off.
    const int first = model_.MailFieldsEnabled != 0 ? MailFromField
                      : model_.WithMail == 0        ? MailOffRadio
                                                    : MailOnRadio;
    FocusControl(window_, GetDlgItem(window_, first));
}

void MailSettingsDialog::ExchangeToControls() {
    SetItemTextCp932(window_, MailBodyField, model_.Body);
    SetItemTextCp932(window_, MailFromField, model_.From);
    SetItemTextCp932(window_, MailSubjectField, model_.Subject);
    SetItemTextCp932(window_, MailToField, model_.To);
    CheckDlgButton(window_, MailOffRadio, model_.WithMail == 0 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(window_, MailOnRadio, model_.WithMail == 1 ? BST_CHECKED : BST_UNCHECKED);
    SetItemTextCp932(window_, MailSmtpField, model_.Smtp);
    SetDlgItemTextW(window_, MailSmtpPortField, std::to_wstring(model_.SmtpPort).c_str());
}

bool MailSettingsDialog::ExchangeFromControls() {
    for (const auto& field : MailSettingsModel::TextFields()) {
        if (!ItemTextStorable(window_, field.id, model_.*field.value)) {
            Message(false, MailSettingsModel::TextNotStorable(field.id), {});
            FocusControl(window_, GetDlgItem(window_, field.id));
            return false;
        }
    }
    model_.WithMail = IsDlgButtonChecked(window_, MailOffRadio) == BST_CHECKED ? 0
                      : IsDlgButtonChecked(window_, MailOnRadio) == BST_CHECKED
                          ? 1
                          : MailSettingsModel::kNoRadio;
    return ReadNumberField(window_, MailSmtpPortField, RuleOf(&Settings::SmtpPort),
                           model_.SmtpPort);
}

void MailSettingsDialog::ShowAddresses() {
    SetItemTextCp932(window_, MailFromField, model_.From);
    SetItemTextCp932(window_, MailToField, model_.To);
}

void MailSettingsDialog::UpdateEnabledStates() {
    for (int id : MailSettingsModel::RuledControls()) {
        EnableWindow(GetDlgItem(window_, id), model_.ControlEnabled(id) ? TRUE : FALSE);
    }
}

void MailSettingsDialog::RepaintNow() {
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void MailSettingsDialog::Message(bool information, const std::string& cp932,
                                 const std::string& systemText) {
    // The system's own text is code page 932 here as well.
    ShowProgramMessage(window_, information, cp932 + systemText);
}

void MailSettingsDialog::CutBody() {
    std::string body = ItemTextCp932(window_, MailBodyField);
    if (!MailSettingsModel::CutBodyToStore(body)) {
        return;
    }
    SetItemTextCp932(window_, MailBodyField, body);
    const auto end = static_cast<WPARAM>(GetWindowTextLengthW(GetDlgItem(window_, MailBodyField)));
    SendDlgItemMessageW(window_, MailBodyField, EM_SETSEL, end, static_cast<LPARAM>(end));
    SendDlgItemMessageW(window_, MailBodyField, EM_SCROLLCARET, 0, 0);
}

bool MailSettingsDialog::Command(int id) {
    switch (id) {
        case MailOffRadio:
        case MailOnRadio:
            model_.MailFieldsEnabled = id == MailOnRadio ? 1 : 0;
            UpdateEnabledStates();
            return true;
        case MailSendTestCommand:
            model_.SendTest(*this, sendMail_);
            return true;
        case MailAdvancedCommand:
            MailSecurityDialog::Edit(window_, model_.Security);
            return true;
        case IDOK:
            // Ending takes the controls once more: the addresses are stored as typed, blanks
            // and all; the trimming served only the check.
            if (model_.Accept(*this) && ExchangeFromControls() && model_.Store(*this, store_)) {
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

}  // namespace tolvane
