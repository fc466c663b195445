#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace tolvane {

// Tells the service manager how the program is doing through $NOTIFY_SOCKET (one datagram per
// message, "READY=1", "STATUS=...", "WATCHDOG=1"), the protocol of sd_notify without
// libsystemd. Without NOTIFY_SOCKET every call does nothing. The construction takes
// NOTIFY_SOCKET, WATCHDOG_USEC and WATCHDOG_PID out of the environment, so that the children
// it starts (the services among them) never speak for this program. On Windows it reports to
// the service control manager instead, when tolvanectl.exe runs as the service
// (app/ServiceStatus.win32.h).
class ServiceNotifier {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    ServiceNotifier();
    ServiceNotifier(const ServiceNotifier&) = delete;
    ServiceNotifier& operator=(const ServiceNotifier&) = delete;
    ~ServiceNotifier();

    bool Active() const { return fd_ >= 0; }

    void Ready();
    void Status(const std::string& status);
    void Stopping();

    // Sends a keep-alive when half the watchdog period has passed since the last one, as the
    // service manager asks; does nothing when it watches nothing.
    void KeepAliveIfDue();
    // When the next keep-alive falls due; nothing when no watchdog is on.
    std::optional<TimePoint> NextKeepAlive() const;

private:
    void Send(const std::string& message);

    int fd_ = -1;
    std::string address_;  // a path, or "\0name" for the abstract namespace
    std::chrono::microseconds keepAliveEvery_{0};
    TimePoint lastKeepAlive_;
};

}  // namespace tolvane
