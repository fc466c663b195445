#pragma once

#include <cstdint>
#include <set>

#include "monitor/MonitorCycle.h"
#include "registry/Registry.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "ui/model/WindowCommands.h"
#include "ui/win32/TrayIcon.h"

namespace tolvane {

// The main window as a Win32 dialog from template 102: the settings and status of the monitor,
// its commands and menus. It holds the settings record for the whole run and hosts the
// check-and-restart cycle, whose timers are this dialog's window timers.
class MonitorDialog : public MonitorHost, private WindowCommandView {
public:
    MonitorDialog(RegistryHive& classesRoot, CycleParts parts);
    ~MonitorDialog() override;
    MonitorDialog(const MonitorDialog&) = delete;
    MonitorDialog& operator=(const MonitorDialog&) = delete;

    // Runs the window as a modal dialog until Exit; what the program does.
    void RunModal();
    // Opens it without a loop of its own; the caller pumps the messages (tests).
    HWND Open();
    HWND Window() const { return window_; }

    // The cycle's host.
    bool ReadControls() override;
    void ShowStatus() override;
    void RefreshControls() override;
    void FocusWindow() override;
    void HideWindow() override;
    void ArmTimer(int id, std::uint32_t ms) override;
    void KillTimer(int id) override;
    void Repaint() override;

    Settings& Record() { return settings_; }
    MonitorCycle& Cycle() { return cycle_; }
    TrayIcon& Tray() { return tray_; }
    bool TimerArmed(int id) const { return armed_.contains(id); }

    // The message that the notification-area icon sends to the window (WM_USER + 101).
    static constexpr unsigned kTrayMessage = 0x0400 + 101;

    // The dialog procedure's dispatch, once the window is open.
    std::intptr_t Handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

private:
    friend struct MonitorDialogProcedure;
    void Opening();
    void SetTexts();
    void EditSystemMenu();
    void ExchangeToControls();
    void Command(int id);
    void Notification(int id, int code);
    bool SystemCommand(std::uintptr_t command);
    void TrayCallback(std::intptr_t mouseMessage);
    void ShowTrayMenu();
    void Exit() override;
    // Save's and the start-up mode's view.
    void CheckStartupMode() override;
    void HideSaveButton() override;
    void Message(bool information, const std::string& cp932,
                 const std::string& systemText) override;
    void OpenMailSettings() override;
    void OpenAbout() override;
    void ShowWindow() override;
    void PaintMinimised();

    RegistryHive& hive_;
    SettingsStore store_;
    Settings settings_;
    MailDispatch sendMail_;
    MonitorCycle cycle_;
    HWND window_ = nullptr;
    void* icon_ = nullptr;
    TrayIcon tray_;
    bool modal_ = false;
    // Set while the window itself moves values between members and controls; the control
    // notifications that this raises are not the user's.
    bool exchanging_ = false;
    // A number field was left and has not been read since.
    bool readPending_ = false;
    std::set<int> armed_;
};

}  // namespace tolvane
