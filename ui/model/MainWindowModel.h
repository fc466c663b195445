#pragma once

#include <cstdint>
#include <string>

#include "monitor/MonitorCycle.h"
#include "registry/Registry.h"
#include "settings/NumberRule.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "ui/model/MessageView.h"
#include "ui/model/WindowSave.h"

namespace tolvane {

// The main window's controls and menu items by their ids (ui/model/CommandId.h).
class MainWindowControls {
public:
    virtual ~MainWindowControls() = default;
    virtual void SetStatusLine(const std::string& cp932) = 0;
    virtual void SetChecked(int id, bool checked) = 0;
    virtual bool Checked(int id) const = 0;
    virtual void SetNumber(int id, std::uint32_t value) = 0;
    // A number field read by its rule; a refusal has been told and the field has the focus,
    // and `value` holds what it could read.
    virtual bool ReadNumber(int id, const NumberRule& rule, std::uint32_t& value) = 0;
    virtual void EnableControl(int id, bool enabled) = 0;
    virtual void ShowSaveButton(bool shown) = 0;
    virtual void CheckMenuItem(int id, bool checked) = 0;
    // Menu bar items, and those of the window menu.
    virtual void EnableMenuItem(int id, bool enabled) = 0;
    virtual void EnableWindowMenuItem(int id, bool enabled) = 0;
};

// The main window as a whole: what only its toolkit does.
class MainWindowFrame : public MessageView {
public:
    virtual void SetWindowIcons() = 0;
    virtual void AddTrayIcon() = 0;
    // Draws the window at once: the thread may block right after.
    virtual void DrawNow() = 0;
    // Repaints during a command of the restart.
    virtual void Repaint() = 0;
    // As a dialog that gets the focus passes it on: to its default button (Hide) when that can
    // be pressed, else to its first field; so Return always goes to the default button, never
    // to another push button that happens to hold the focus (Stop).
    virtual void FocusDialog() = 0;
    // A modal dialog, message box or menu of the program is open.
    virtual bool ModalOpen() const = 0;
    virtual void HideWindow() = 0;
    virtual void ShowWindow() = 0;
    virtual void OpenAbout() = 0;
    virtual void OpenMailSettings() = 0;
    // Exit: the tray icon goes and the window ends.
    virtual void Close() = 0;
    virtual void Beep() = 0;
    // One-shot timers by id; their expiries go to MainWindowModel::OnTimer.
    virtual void ArmTimer(int id, std::uint32_t ms) = 0;
    virtual void KillTimer(int id) = 0;
};

class MainWindowView : public MainWindowControls, public MainWindowFrame {};

// Who sent a command: the dialog manager sends Exit for Esc and the close box too, and beeps
// when Exit is disabled.
enum class CommandSource { Control, DialogManager };

// The main window without its toolkit: it holds the settings record for the whole run, its
// store and the check-and-restart cycle, and decides the order of the window's steps.
class MainWindowModel : private MonitorHost, private MonitorWindow, private WindowSaveView {
public:
    // `parts` reach the cycle; their sendMail also serves the mail settings' send test.
    MainWindowModel(RegistryHive& classesRoot, CycleParts parts, MainWindowView& view);
    MainWindowModel(const MainWindowModel&) = delete;
    MainWindowModel& operator=(const MainWindowModel&) = delete;

    // The window's opening, once its controls exist: loads the settings, shows them and arms
    // the automatic start when the start-up mode asks for it.
    void Open();

    // A command by its id (buttons, menus, the icon control); one whose enabling rule says
    // disabled is ignored.
    void Command(int id, CommandSource source = CommandSource::Control);
    // The window menu's items (Hide, About); false for any other id.
    bool WindowMenuCommand(int id);
    bool CommandEnabled(int id) const;
    // The greying done whenever a menu of the window opens.
    void GreyMenus();
    // A timer's expiry. The automatic start waits while a modal dialog or a menu is open:
    // it would start monitoring under a dialog (mail settings) that the rules keep closed
    // while monitoring runs.
    void OnTimer(int id);

    // A field's text or a check box changed: the user's edit, unless the window itself moves
    // values into the controls.
    void ControlEdited();
    // A number field was left. True when the view is to call ReadLeftField once the focus has
    // moved (not inside the move: a box opened there would disturb it).
    bool FieldLeft();
    void ReadLeftField();
    bool Exchanging() const { return exchanging_; }

    // Reads the controls into the record, in the window's order; false at the first refusal.
    bool ReadControls() override;
    // Shows the record and the cycle's status in the controls and draws them at once.
    void ShowStatus() override;

    Settings& Record() { return settings_; }
    SettingsStore& Store() { return store_; }
    MonitorCycle& Cycle() { return cycle_; }
    const MailDispatch& SendMail() const { return sendMail_; }

private:
    void ExchangeToControls();
    // The cycle's host and window.
    void ArmTimer(int id, std::uint32_t ms) override { view_.ArmTimer(id, ms); }
    void KillTimer(int id) override { view_.KillTimer(id); }
    void Repaint() override { view_.Repaint(); }
    void RefreshControls() override;
    void FocusWindow() override { view_.FocusDialog(); }
    void HideWindow() override { view_.HideWindow(); }
    // Save's and the start-up mode's view.
    void CheckStartupMode() override;
    void HideSaveButton() override { view_.ShowSaveButton(false); }
    void Message(bool information, const std::string& cp932,
                 const std::string& systemText) override {
        view_.Message(information, cp932, systemText);
    }

    MainWindowView& view_;
    SettingsStore store_;
    Settings settings_;
    MailDispatch sendMail_;
    MonitorCycle cycle_;
    // Set while the window itself moves values between the record and the controls; the change
    // notifications this raises are not the user's.
    bool exchanging_ = false;
    // A number field was left and has not been read since.
    bool readPending_ = false;
};

}  // namespace tolvane
