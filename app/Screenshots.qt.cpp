// tolvane-screenshots: draws the main window, the mail settings dialog (and its TLS and
// authentication dialog) and the About box
// offscreen into PNG files, for the README. Usage: tolvane-screenshots [FOLDER] (default docs).
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPalette>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "app/ExampleMail.h"
#include "registry/Registry.h"
#include "ui/qt/AboutDialog.h"
#include "ui/qt/DialogUnits.h"
#include "ui/qt/MailSecurityDialog.h"
#include "ui/qt/MailSettingsDialog.h"
#include "ui/qt/MessageBox.h"
#include "ui/qt/MonitorDialog.h"
#include "ui/qt/ProgramIcon.h"

using namespace tolvane;

namespace {

// Offscreen windows have no frame; draw a plain caption bar so the pictures show the titles.
// A pop-up menu open over the window is drawn where it lies.
QImage Framed(QWidget& window, QWidget* popup = nullptr) {
    window.show();
    window.activateWindow();
    QApplication::processEvents();
    const QPixmap content = window.grab();
    QPixmap popupContent;
    QPoint popupAt;
    if (popup != nullptr) {
        popupContent = popup->grab();
        popupAt = popup->pos() - window.mapToGlobal(QPoint(0, 0));
    }
    const int border = 1;
    const int caption = QFontMetrics(window.font()).height() + 12;
    const int below =
        popup != nullptr
            ? std::max(0, popupAt.y() + popupContent.height() - content.height() - border)
            : 0;
    QImage image(content.width() + 2 * border, content.height() + caption + border + below,
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
    if (popup != nullptr) {
        painter.drawPixmap(border + popupAt.x(), caption + popupAt.y(), popupContent);
    }
    painter.end();
    window.hide();
    return image;
}

bool Save(QWidget& window, const QString& path, QWidget* popup = nullptr) {
    const bool saved = Framed(window, popup).save(path, "PNG");
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

    // The File menu open, with its two separators before Exit.
    main.show();
    QAction* fileMenu = main.MenuBar().actions().front();
    main.MenuBar().setActiveAction(fileMenu);
    QApplication::processEvents();
    saved &= Save(main, folder + QStringLiteral("/file-menu.png"), fileMenu->menu());
    fileMenu->menu()->hide();

    // Interval 0 refused: once the message is answered, the field has the focus with its whole
    // text selected.
    MessageBox::SetHook([](const MessageBox::Shown&) {});
    auto* interval = qobject_cast<QLineEdit*>(main.Control(1004));
    interval->setText(QStringLiteral("0"));
    main.ReadControls();
    MessageBox::SetHook({});
    saved &= Save(main, folder + QStringLiteral("/refused-field.png"));

    SettingsStore store(classesRoot);
    MailSettingsDialog mail(store, MailDispatch{}, &main);
    FillExampleMail(mail);
    saved &= Save(mail, folder + QStringLiteral("/mail-settings.png"));

    // Its "詳細" dialog, as for a submission service with STARTTLS and AUTH.
    MailSecurityDialog security(&mail);
    MailSecurity submission;
    submission.SmtpSecurity = "starttls";
    submission.SmtpUser = "webmaster@example.jp";
    security.Load(submission, StoredPassword{StoredPassword::Outcome::Found, {}, {}});
    saved &= Save(security, folder + QStringLiteral("/mail-security.png"));

    AboutDialog about(&main);
    saved &= Save(about, folder + QStringLiteral("/about.png"));
    return saved ? 0 : 1;
}
