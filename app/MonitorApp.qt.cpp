#include "app/MonitorApp.h"

#include <QApplication>
#include <QLoggingCategory>
#include <csignal>
#include <cstdio>
#include <string>

#include "app/StartupReport.h"
#include "mail/SendNotificationMail.h"
#include "monitor/RestartLog.h"
#include "os/InstanceMarker.posix.h"
#include "registry/Registry.h"
#include "ui/model/CommandId.h"
#include "ui/qt/DialogUnits.h"
#include "ui/qt/InstanceServer.h"
#include "ui/qt/MessageBox.h"
#include "ui/qt/MonitorDialog.h"
#include "ui/qt/ProgramIcon.h"
#include "ui/qt/UiTexts.h"

// Off unless QT_LOGGING_RULES asks for it ("tolvane.app.info=true"): the moments a test or a
// benchmark waits for.
Q_LOGGING_CATEGORY(lcApp, "tolvane.app", QtWarningMsg)

namespace tolvane {

namespace {

// How long a later copy tries to reach the running one and to hear its answer. A running copy
// in the middle of a restart answers only afterwards; the later copy ends anyway, the request
// stays queued.
constexpr int kAnswerWaitMs = 5000;

// A later copy that found the headless monitor running: there is no window to bring back.
constexpr int kExitMonitoredElsewhere = 3;

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

const char* const kHelp =
    "usage: tolvane [--help | --version | Qt options]\n"
    "The IIS Tolvane desktop watchdog: opens its window and restarts the web server's services\n"
    "when its port stops answering. See tolvane(1); for servers and scripts, tolvanectl(1).\n";

// While a restart would miss a service, the window says so once in its status line (the
// details in the line's tip) and on standard error.
void ExplainMissingServicesMap(MonitorDialog& dialog) {
    const std::string note = ServicesMapNote("tolvane", dialog.Record());
    if (note.empty()) {
        return;
    }
    std::fputs(note.c_str(), stderr);
    dialog.Cycle().StatusText = Text(UiText::NoServicesMap);
    dialog.ShowStatus();
    dialog.Control(ID_STATUS_LINE)->setToolTip(QString::fromLocal8Bit(note).trimmed());
}

}  // namespace

int MonitorApp::Second(const std::string& markerName) {
    const InstanceMarker::Holder holder = InstanceMarker::FindHolder(markerName);
    if (holder.program == InstanceMarker::Program::Tolvanectl) {
        QApplication app(argc_, argv_);
        QApplication::setFont(DialogFont());
        QApplication::setWindowIcon(ProgramIcon());
        const QString text = ToQString(MonitoredByTolvanectl(holder.pid));
        qCInfo(lcApp) << "message box:" << text;
        MessageBox::Show(nullptr, MessageBox::Icon::Exclamation, QText(UiText::WindowTitle), text);
        return kExitMonitoredElsewhere;
    }
    if (!AskToShow(markerName, kAnswerWaitMs)) {
        const std::string who =
            holder.pid > 0 ? " (process " + std::to_string(holder.pid) + ")" : std::string();
        std::fprintf(stderr, "tolvane: the running copy%s did not answer within %d s\n",
                     who.c_str(), kAnswerWaitMs / 1000);
    }
    return 0;
}

int MonitorApp::Run() {
    for (int i = 1; i < argc_; ++i) {
        const std::string option = argv_[i];
        if (option == "--help" || option == "--version") {
            std::fputs(option == "--help" ? kHelp : VersionLine("tolvane").c_str(), stdout);
            return 0;
        }
    }
    const std::string markerName = InstanceMarker::ProgramName();
    InstanceMarker marker(markerName);
    if (marker.State() == InstanceMarker::Claim::HeldByOther) {
        return Second(markerName);
    }
    marker.Announce(InstanceMarker::Program::Window);
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
    parts.sendMail = NotificationMail();
    MonitorDialog dialog(classesRoot, parts);
    ExplainMissingServicesMap(dialog);

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
