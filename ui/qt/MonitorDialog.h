#pragma once

#include <QDialog>
#include <QSystemTrayIcon>
#include <map>

#include "monitor/MonitorCycle.h"
#include "registry/Registry.h"
#include "settings/Settings.h"
#include "ui/model/MainWindowModel.h"
#include "ui/qt/DialogLayout.h"

class QAction;
class QMenu;
class QMenuBar;
class QPushButton;
class QTimer;

namespace tolvane {

class TrayIcon;

// The main window's Qt view over MainWindowModel, which holds the settings record, the store and
// the check-and-restart cycle; the cycle's timers are this window's timers.
class MonitorDialog : public QDialog, private MainWindowView {
    Q_OBJECT
public:
    // Opens the window: loads the settings from the hive, adds the tray icon and arms the
    // automatic start when the start-up mode asks for it. `parts` reach the cycle; their
    // sendMail also serves the mail settings dialog's send test.
    MonitorDialog(RegistryHive& classesRoot, CycleParts parts, QWidget* parent = nullptr);
    ~MonitorDialog() override;

    // Carries out a command by its id as the window's buttons and menus send it; a command
    // whose enabling rule says disabled is ignored.
    void Command(int id) { model_.Command(id); }
    // Reads the controls into the record; false when a field was refused.
    bool ReadControls() { return model_.ReadControls(); }
    // Shows the cycle's status (and the record) at once.
    void ShowStatus() { model_.ShowStatus(); }
    // Command 32, and a later copy's request: shows the window and brings it to the front.
    void ShowWindow() override;
    void HideWindow() override;

    Settings& Record() { return model_.Record(); }
    MonitorCycle& Cycle() { return model_.Cycle(); }
    TrayIcon& Tray() { return *tray_; }
    bool TimerArmed(int id) const;

    // The control with the template's id (1004, 1003, 1001, 1006 ... 1000, 1, 1002, 1016, 3, 2).
    QWidget* Control(int id) const;
    // Menu bar items 32774, 32776, 32775, 2 and 16.
    QAction* MenuItem(int id) const;
    // The window menu (the right-click menu of the window): items 48 and 16.
    QMenu& WindowMenu() { return *windowMenu_; }
    QAction* WindowMenuItem(int id) const;
    QMenuBar& MenuBar() { return *menuBar_; }

public slots:
    // Esc and the close box: Exit, or a beep while Exit is disabled.
    void reject() override;

protected:
    bool event(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void CreateMenus();
    void LayOut();
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
    void OpenAbout() override;
    void OpenMailSettings() override;
    void Close() override;
    void Beep() override;
    void ArmTimer(int id, std::uint32_t ms) override;
    void KillTimer(int id) override;
    void Message(bool information, const std::string& cp932,
                 const std::string& systemText) override;

    MainWindowModel model_;
    QPushButton* save_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    DialogLayout layout_;
    std::map<int, QWidget*> controls_;
    std::map<int, QAction*> menuItems_;
    std::map<int, QAction*> windowMenuItems_;
    std::map<int, QTimer*> timers_;
    TrayIcon* tray_ = nullptr;
};

}  // namespace tolvane
