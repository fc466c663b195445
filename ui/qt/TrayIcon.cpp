#include "ui/qt/TrayIcon.h"

#include <QMenu>

#include "ui/qt/UiTexts.h"

namespace tolvane {

namespace {

constexpr std::size_t kTipBytes = 63;

}  // namespace

TrayIcon::TrayIcon(const QIcon& icon, const std::string& tip, QObject* parent)
    : QObject(parent), icon_(icon), menu_(std::make_unique<QMenu>()) {
    icon_.setToolTip(ToQString(CutCp932(tip, kTipBytes)));
    show_ = menu_->addAction(QText(UiText::TrayShowItem));
    menu_->addSeparator();
    about_ = menu_->addAction(QText(UiText::AboutItem));
    // The default item is set again each time the menu opens, as the shell's menu wants.
    connect(menu_.get(), &QMenu::aboutToShow, this, [this] { menu_->setDefaultAction(show_); });
    connect(show_, &QAction::triggered, this, &TrayIcon::showRequested);
    connect(about_, &QAction::triggered, this, &TrayIcon::aboutRequested);
    icon_.setContextMenu(menu_.get());
    connect(&icon_, &QSystemTrayIcon::activated, this, &TrayIcon::OnActivated);
}

TrayIcon::~TrayIcon() {
    icon_.hide();
    icon_.setContextMenu(nullptr);
}

void TrayIcon::Add() {
    icon_.show();
}

void TrayIcon::Remove() {
    icon_.hide();
}

QAction* TrayIcon::MenuItem(int id) const {
    switch (id) {
        case 32:
            return show_;
        case 16:
            return about_;
        default:
            return nullptr;
    }
}

void TrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    // A single click does nothing; the context menu is opened by QSystemTrayIcon itself.
    if (reason == QSystemTrayIcon::DoubleClick) {
        emit showRequested();
    }
}

}  // namespace tolvane
