#pragma once

#include <QObject>

#include "os/InstanceMarker.posix.h"

class QSocketNotifier;

namespace tolvane {

// Hears later copies of the program on the running copy's marker. A copy of the same user
// that asks to show the window gets `showRequested` and then its answer; anything else is
// dropped. Nothing here blocks the window's thread.
class InstanceServer : public QObject {
    Q_OBJECT
public:
    explicit InstanceServer(InstanceMarker& marker, QObject* parent = nullptr);

signals:
    void showRequested();

private:
    void AcceptWaiting();
    void Listen(InstanceConnection connection);

    InstanceMarker& marker_;
};

}  // namespace tolvane
