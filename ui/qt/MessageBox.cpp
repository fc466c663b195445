#include "ui/qt/MessageBox.h"

#include <QApplication>
#include <QMessageBox>

#include "ui/qt/UiTexts.h"

namespace tolvane {

namespace {

MessageBox::Hook& CurrentHook() {
    static MessageBox::Hook hook;
    return hook;
}

}  // namespace

void MessageBox::Show(QWidget* parent, Icon icon, const QString& caption, const QString& text) {
    if (CurrentHook()) {
        CurrentHook()(Shown{icon, caption, text});
        return;
    }
    QMessageBox box(icon == Icon::Information ? QMessageBox::Information : QMessageBox::Warning,
                    caption, text, QMessageBox::Ok, parent);
    // Mail failure reasons are a server's own words and must not be taken as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void MessageBox::ShowProgramMessage(QWidget* parent, bool information, const std::string& cp932,
                                    const std::string& systemText) {
    Show(parent, information ? Icon::Information : Icon::Exclamation, QText(UiText::WindowTitle),
         ToQString(cp932) + QString::fromLocal8Bit(systemText.c_str()));
}

void MessageBox::Beep() {
    if (CurrentHook()) {
        CurrentHook()(Shown{Icon::Exclamation, QString(), QString(), true});
        return;
    }
    QApplication::beep();
}

void MessageBox::SetHook(Hook hook) {
    CurrentHook() = std::move(hook);
}

}  // namespace tolvane
