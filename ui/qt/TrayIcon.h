#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <memory>
#include <string>

class QAction;
class QMenu;

namespace tolvane {

// The icon in the notification area: the way back to a hidden main window. A double click
// asks for the window, a right click opens the menu "表示(&D)" (bold, the default) and
// "&About IISTolvane...". Without a notification area the program runs on without it.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    // The tip is CP932 and cut to 63 bytes, as the notification record holds no more.
    TrayIcon(const QIcon& icon, const std::string& tip, QObject* parent = nullptr);
    ~TrayIcon() override;

    void Add();
    void Remove();

    QSystemTrayIcon& Icon() { return icon_; }
    QMenu& Menu() { return *menu_; }
    // 32 ("表示(&D)") or 16 ("&About IISTolvane...").
    QAction* MenuItem(int id) const;

    void OnActivated(QSystemTrayIcon::ActivationReason reason);

signals:
    void showRequested();   // command 32, also a double click
    void aboutRequested();  // command 16

private:
    QSystemTrayIcon icon_;
    std::unique_ptr<QMenu> menu_;
    QAction* show_;
    QAction* about_;
};

}  // namespace tolvane
