#include "ui/qt/InstanceServer.h"

#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>

namespace tolvane {

namespace {

// A copy that connects and never says anything is dropped after this.
constexpr int kRequestPatienceMs = 5000;

}  // namespace

InstanceServer::InstanceServer(InstanceMarker& marker, QObject* parent)
    : QObject(parent), marker_(marker) {
    if (marker_.ListenFd() < 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(marker_.ListenFd(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &InstanceServer::AcceptWaiting);
}

void InstanceServer::AcceptWaiting() {
    for (int connection = marker_.AcceptWaiting(); connection >= 0;
         connection = marker_.AcceptWaiting()) {
        if (!InstanceMarker::FromSameUser(connection)) {
            ::close(connection);
            continue;
        }
        Listen(connection);
    }
}

void InstanceServer::Listen(int connection) {
    // One small object per waiting copy; it closes the connection whatever happens.
    auto* holder = new QObject(this);
    auto* notifier = new QSocketNotifier(connection, QSocketNotifier::Read, holder);
    auto* patience = new QTimer(holder);
    patience->setSingleShot(true);
    auto finish = [holder, notifier, patience, connection](bool answer) {
        notifier->setEnabled(false);
        patience->stop();
        if (answer) {
            InstanceMarker::Answer(connection);
        } else {
            ::close(connection);
        }
        holder->deleteLater();
    };
    connect(notifier, &QSocketNotifier::activated, holder, [this, connection, finish] {
        switch (InstanceMarker::ReadRequest(connection)) {
            case InstanceMarker::Request::Incomplete:
                return;
            case InstanceMarker::Request::ShowWindow:
                emit showRequested();
                finish(true);
                return;
            case InstanceMarker::Request::Invalid:
                finish(false);
                return;
        }
    });
    connect(patience, &QTimer::timeout, holder, [finish] { finish(false); });
    patience->start(kRequestPatienceMs);
}

}  // namespace tolvane
