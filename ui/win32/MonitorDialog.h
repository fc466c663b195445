#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "monitor/MonitorCycle.h"
#include "registry/Registry.h"
#include "settings/Settings.h"
#include "ui/model/MainWindowModel.h"
#include "ui/win32/ServingClock.h"
#include "ui/win32/TrayIcon.h"

namespace tolvane {

// The main window's Win32 view over MainWindowModel, a dialog from its template; the cycle's
// timers are this dialog's window timers.
class MonitorDialog : private MainWindowView {
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

    Settings& Record() { return model_.Record(); }
    MonitorCycle& Cycle() { return model_.Cycle(); }
    TrayIcon& Tray() { return tray_; }
    // Shows a note in the status line until the cycle's next status replaces it.
    void ShowStatusNote(const std::string& cp932);
    // What the window says once it is up, with the settings loaded, in its status line and in
    // a box (CP932); an empty note says nothing. Set before the window opens.
    using StartNote = std::function<std::string(const Settings& record, const LoadReport& load)>;
    void SetStartNote(StartNote note) { startNote_ = std::move(note); }
    // The clock the window's cycle waits on: one that serves the window's messages.
    Clock& WaitClock() { return model_.Cycle().WaitClock(); }
    bool TimerArmed(int id) const { return armed_.contains(id); }

    // The message that the notification-area icon sends to the window (WM_USER + 101).
    static constexpr unsigned kTrayMessage = 0x0400 + 101;
    // What a later copy posts to the window to have it shown (ui/win32/RunningWindow.h).
    static unsigned ShowRequestMessage();
    // True while a handler of the cycle (a tick, a connection test) runs and the window only
    // serves messages while it waits.
    bool Busy() const { return busy_ > 0; }

    // The dialog procedure's dispatch, once the window is open.
    std::intptr_t Handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

private:
    friend struct MonitorDialogProcedure;
    void SetTexts();
    void Notification(int id, int code);
    void TrayCallback(std::intptr_t mouseMessage);
    void ShowTrayMenu();
    void PaintMinimised();
    // Runs a handler of the cycle, which serves messages while it waits: timers that expire
    // meanwhile wait for its end, as they would in the queue of a blocked thread.
    template <typename Handler>
    void RunBusy(bool restartMayRun, Handler handler);
    // What the window still does while a handler of the cycle runs; the rest (commands that
    // change the cycle, modal windows and menus, moving the window) would either re-enter
    // the cycle or hold its waits up.
    static bool AnsweredWhileBusy(int command);
    static bool SystemCommandAnsweredWhileBusy(unsigned command);
    void ShowOnRequest();
    // The model's view.
    void SetStatusLine(const std::string& cp932) override;
    void SetChecked(int id, bool checked) override;
    bool Checked(int id) const override;
    void SetNumber(int id, std::uint32_t value) override;
    bool ReadNumber(int id, const NumberRule& rule, std::uint32_t& value) override;
    void EnableControl(int id, bool enabled) override;
    void ShowSaveButton(bool shown) override;
    void CheckMenuItem(int id, bool checked) override;
    void EnableMenuItem(int id, bool enabled) override;
    void EnableWindowMenuItem(int id, bool enabled) override;
    void SetWindowIcons() override;
    void AddTrayIcon() override;
    void DrawNow() override;
    void Repaint() override;
    void FocusDialog() override;
    bool ModalOpen() const override;
    void HideWindow() override;
    void ShowWindow() override;
    void OpenAbout() override;
    void OpenMailSettings() override;
    void Close() override;
    void Beep() override;
    void ArmTimer(int id, std::uint32_t ms) override;
    void KillTimer(int id) override;
    void Message(bool information, const std::string& cp932,
                 const std::string& systemText) override;

    // Declared before the model, whose cycle waits on it.
    ServingClock clock_;
    MainWindowModel model_;
    HWND window_ = nullptr;
    void* icon_ = nullptr;
    TrayIcon tray_;
    bool modal_ = false;
    std::set<int> armed_;
    // Nesting depth of cycle handlers; timers that expired meanwhile; set while a tick runs,
    // which may restart the services and holds a logoff off.
    int busy_ = 0;
    std::set<int> deferred_;
    bool tickRunning_ = false;
    bool menuOpen_ = false;
    unsigned taskbarCreated_ = 0;
    StartNote startNote_;
};

}  // namespace tolvane
