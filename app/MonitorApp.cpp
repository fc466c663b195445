#include "app/MonitorApp.h"

#include <QApplication>
#include <QLoggingCategory>
#include <csignal>

#include "mail/SendNotificationMail.h"
#include "monitor/RestartLog.h"
#include "platform/InstanceMarker.h"
#include "platform/Registry.h"
#include "ui/DialogUnits.h"
#include "ui/InstanceServer.h"
#include "ui/MonitorDialog.h"
#include "ui/ProgramIcon.h"

// Off unless QT_LOGGING_RULES asks for it ("tolvane.app.info=true"): the moments a test or a
// benchmark waits for.
Q_LOGGING_CATEGORY(lcApp, "tolvane.app", QtWarningMsg)

namespace tolvane {

namespace {

// How long a later copy waits for the running one to answer. A running copy in the middle of
// a restart answers only afterwards; the later copy ends anyway, the request stays queued.
constexpr int kAnswerWaitMs = 5000;

// Reports the main window's showing, hiding and first painting.
class WindowReporter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::Show:
                qCInfo(lcApp) << "window shown";
                break;
            case QEvent::Hide:
                qCInfo(lcApp) << "window hidden";
                break;
            case QEvent::Paint:
                if (!painted_) {
                    painted_ = true;
                    qCInfo(lcApp) << "window painted";
                }
                break;
            default:
                break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool painted_ = false;
};

}  // namespace

int MonitorApp::Run() {
    const std::string markerName = InstanceMarker::ProgramName();
    InstanceMarker marker(markerName);
    if (marker.State() == InstanceMarker::Claim::HeldByOther) {
        InstanceMarker::AskToShow(markerName, kAnswerWaitMs);
        return 0;
    }
    // A peer that closes its end must give a failed send, and a log past a size limit a failed
    // write, not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);

    QApplication app(argc_, argv_);
    // The window hides to the tray; closing a box while it is hidden must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setFont(DialogFont());
    QApplication::setWindowIcon(ProgramIcon());

    RegistryHive classesRoot(RegistryHive::ClassesRootPath());
    RestartLog log(RealClock());
    CycleParts parts;
    parts.log = &log;
    parts.sendMail = SendNotificationMail;
    MonitorDialog dialog(classesRoot, parts);

    InstanceServer server(marker);
    QObject::connect(&server, &InstanceServer::showRequested, &dialog, [&dialog] {
        dialog.ShowWindow();
        qCInfo(lcApp) << "later copy answered, window visible:" << dialog.isVisible();
    });
    QObject::connect(&dialog, &QDialog::finished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    WindowReporter reporter;
    dialog.installEventFilter(&reporter);
    dialog.show();
    const int exitCode = QApplication::exec();
    qCInfo(lcApp) << "ended";
    return exitCode;
}

}  // namespace tolvane
