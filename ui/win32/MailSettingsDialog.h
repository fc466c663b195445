#pragma once

#include "monitor/MonitorCycle.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "ui/model/MailSettingsModel.h"
#include "ui/win32/TrayIcon.h"

namespace tolvane {

// The mail settings dialog from template 132 over the shared flow of MailSettingsModel.
class MailSettingsDialog : public MailSettingsView {
public:
    // Opens the dialog with the record's mail values, runs it modally and, after OK, stores
    // them and gives them back to the record. True when it ended with OK.
    static bool Edit(HWND owner, Settings& record, SettingsStore& store, MailDispatch sendMail);

    bool ExchangeFromControls() override;
    void ShowAddresses() override;
    void UpdateEnabledStates() override;
    void RepaintNow() override;
    void Message(bool information, const std::string& cp932,
                 const std::string& systemText) override;

private:
    MailSettingsDialog(SettingsStore& store, MailDispatch sendMail)
        : store_(store), sendMail_(std::move(sendMail)) {}
    friend struct MailSettingsProcedure;
    void Initialise();
    void ExchangeToControls();
    // Keeps the body within what the store reads back.
    void CutBody();
    bool Command(int id);

    SettingsStore& store_;
    MailDispatch sendMail_;
    MailSettingsModel model_;
    HWND window_ = nullptr;
};

}  // namespace tolvane
