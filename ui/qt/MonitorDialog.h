#pragma once

#include <QDialog>
#include <QSystemTrayIcon>
#include <map>

#include "monitor/MonitorCycle.h"
#include "registry/Registry.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "ui/model/WindowCommands.h"
#include "ui/qt/DialogLayout.h"

class QAbstractButton;
class QAction;
class QCheckBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QTimer;

namespace tolvane {

class TrayIcon;

// The main window: the settings and status of the monitor, its commands and menus. It holds
// the settings record for the whole run and hosts the check-and-restart cycle, whose timers
// are this window's timers.
class MonitorDialog : public QDialog, public MonitorHost, private WindowCommandView {
    Q_OBJECT
public:
    // Opens the window: loads the settings from the hive, adds the tray icon and arms the
    // automatic start when the start-up mode asks for it. `parts` reach the cycle; their
    // sendMail also serves the mail settings dialog's send test.
    MonitorDialog(RegistryHive& classesRoot, CycleParts parts, QWidget* parent = nullptr);
    ~MonitorDialog() override;

    // The cycle's host.
    bool ReadControls() override;
    void ShowStatus() override;
    void RefreshControls() override;
    void FocusWindow() override;
    void HideWindow() override;
    void ArmTimer(int id, std::uint32_t ms) override;
    void KillTimer(int id) override;
    void Repaint() override;

    // Carries out a command by its id as the window's buttons and menus send it; a command
    // whose enabling rule says disabled is ignored.
    void Command(int id);

    // Command 32, and a later copy's request: shows the window and brings it to the front.
    void ShowWindow() override;

    Settings& Record() { return settings_; }
    MonitorCycle& Cycle() { return cycle_; }
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
    void ExchangeToControls();
    bool CommandEnabled(int id) const;
    // The greying done whenever a menu of the window opens.
    void GreyMenus();
    void Exit() override;
    void Exit(bool fromDialogManager);
    // Save's and the start-up mode's view.
    void CheckStartupMode() override;
    void HideSaveButton() override;
    void Message(bool information, const std::string& cp932,
                 const std::string& systemText) override;
    void OpenMailSettings() override;
    void OpenAbout() override;
    void ShowSaveButton();
    // An enabled control's access key goes before the menu bar's of the same letter, as in a
    // Windows dialog ("隠す(&H)" and "ﾍﾙﾌﾟ(&H)").
    QAbstractButton* ButtonForAccessKey(const QKeyEvent& key) const;
    bool HandleAccessKey(QEvent* event);

    RegistryHive& hive_;
    SettingsStore store_;
    Settings settings_;
    MailDispatch sendMail_;
    MonitorCycle cycle_;
    // Set while the window itself moves values between members and controls; the control
    // notifications that this raises are not the user's.
    bool exchanging_ = false;
    // A number field was left and has not been read since.
    bool readPending_ = false;

    QLabel* status_ = nullptr;
    QLineEdit* interval_ = nullptr;
    QLineEdit* port_ = nullptr;
    QCheckBox* ftp_ = nullptr;
    QCheckBox* smtp_ = nullptr;
    QCheckBox* nntp_ = nullptr;
    QCheckBox* msdtc_ = nullptr;
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
