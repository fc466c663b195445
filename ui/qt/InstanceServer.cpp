#include "ui/qt/InstanceServer.h"

#include <QSocketNotifier>
#include <QTimer>
#include <memory>

namespace tolvane {

namespace {

// A copy that connects and never says anything is dropped after this.
constexpr int kRequestPatienceMs = 5000;

}  // namespace

InstanceServer::InstanceServer(InstanceMarker& marker, QObject* parent)
    : QObject(parent), marker_(marker) {
    if (ListenDescriptor(marker_) < 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(ListenDescriptor(marker_), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &InstanceServer::AcceptWaiting);
}

void InstanceServer::AcceptWaiting() {
    for (InstanceConnection connection = tolvane::AcceptWaiting(marker_); connection;
         connection = tolvane::AcceptWaiting(marker_)) {
        if (connection.FromSameUser()) {
            Listen(std::move(connection));
        }
    }
}

void InstanceServer::Listen(InstanceConnection accepted) {
    // One small object per waiting copy; the connection closes with the last of its handlers.
    auto connection = std::make_shared<InstanceConnection>(std::move(accepted));
    auto* holder = new QObject(this);
    auto* notifier =
        new QSocketNotifier(connection->Descriptor(), QSocketNotifier::Read, holder);
    auto* patience = new QTimer(holder);
    patience->setSingleShot(true);
    auto finish = [holder, notifier, patience, connection](bool answer) {
        notifier->setEnabled(false);
        patience->stop();
        if (answer) {
            connection->Answer();
        } else {
            *connection = InstanceConnection();
        }
        holder->deleteLater();
    };
    connect(notifier, &QSocketNotifier::activated, holder, [this, connection, finish] {
        switch (connection->ReadRequest()) {
            case InstanceConnection::Request::Incomplete:
                return;
            case InstanceConnection::Request::ShowWindow:
                emit showRequested();
                finish(true);
                return;
            case InstanceConnection::Request::Invalid:
                finish(false);
                return;
        }
    });
    connect(patience, &QTimer::timeout, holder, [finish] { finish(false); });
    patience->start(kRequestPatienceMs);
}

}  // namespace tolvane
