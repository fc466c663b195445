// tolvane-screenshots: draws the main window, the mail settings dialog and the About box
// offscreen into PNG files, for the README. Usage: tolvane-screenshots [FOLDER] (default docs).
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPalette>
#include <QTemporaryDir>
#include <cstdio>

#include "platform/CodePage.h"
#include "platform/Registry.h"
#include "ui/AboutDialog.h"
#include "ui/DialogUnits.h"
#include "ui/MailSettingsDialog.h"
#include "ui/MonitorDialog.h"
#include "ui/ProgramIcon.h"

using namespace tolvane;

namespace {

// Offscreen windows have no frame; draw a plain caption bar so the pictures show the titles.
QImage Framed(QWidget& window) {
    window.show();
    QApplication::processEvents();
    const QPixmap content = window.grab();
    const int border = 1;
    const int caption = QFontMetrics(window.font()).height() + 12;
    QImage image(content.width() + 2 * border, content.height() + caption + border,
                 QImage::Format_ARGB32);
    const QPalette palette = window.palette();
    image.fill(palette.color(QPalette::Dark));
    QPainter painter(&image);
    const QRect bar(border, border, content.width(), caption - border);
    painter.fillRect(bar, palette.color(QPalette::Highlight));
    const int iconSide = caption - 10;
    painter.drawPixmap(bar.left() + 6, bar.top() + (bar.height() - iconSide) / 2,
                       ProgramPixmap(iconSide));
    painter.setPen(palette.color(QPalette::HighlightedText));
    QFont font = window.font();
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(bar.adjusted(iconSide + 12, 0, -caption, 0), Qt::AlignVCenter | Qt::AlignLeft,
                     window.windowTitle());
    painter.drawText(QRect(bar.right() - caption, bar.top(), caption, bar.height()),
                     Qt::AlignCenter, QStringLiteral("\u00D7"));
    painter.drawPixmap(border, caption, content);
    painter.end();
    window.hide();
    return image;
}

bool Save(QWidget& window, const QString& path) {
    const bool saved = Framed(window).save(path, "PNG");
    std::printf("%s %s\n", saved ? "wrote" : "could not write", path.toLocal8Bit().constData());
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setFont(DialogFont());
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
    QDir().mkpath(folder);

    // A store of its own, so the pictures show the defaults and no one's settings change.
    QTemporaryDir scratch;
    RegistryHive classesRoot(
        scratch.filePath(QStringLiteral("HKEY_CLASSES_ROOT.reg")).toStdString());
    bool saved = true;

    MonitorDialog main(classesRoot, CycleParts{});
    saved &= Save(main, folder + QStringLiteral("/main-window.png"));

    SettingsStore store(classesRoot);
    MailSettingsDialog mail(store, MailDispatch{}, &main);
    mail.WithMail = 1;
    mail.From = "webmaster@example.jp";
    mail.To = "admin@example.jp;operator@example.jp";
    mail.Subject = Sjis("Webサーバーを再起動しました");
    mail.Body = Sjis(
        "IIS Tolvane "
        "がWebサーバーの停止を検出し、再起動しました。\r\n再起動ログを確認して下さい。");
    mail.Smtp = "mail.example.jp";
    mail.SmtpPort = 25;
    saved &= Save(mail, folder + QStringLiteral("/mail-settings.png"));

    AboutDialog about(&main);
    saved &= Save(about, folder + QStringLiteral("/about.png"));
    return saved ? 0 : 1;
}
