#include "app/ServiceNotifier.h"

namespace tolvane {

// Windows services do not speak this protocol; tolvanectl.exe runs as a console program.
ServiceNotifier::ServiceNotifier() = default;
ServiceNotifier::~ServiceNotifier() = default;
void ServiceNotifier::Ready() {}
void ServiceNotifier::Status(const std::string&) {}
void ServiceNotifier::Stopping() {}
void ServiceNotifier::KeepAliveIfDue() {}
std::optional<ServiceNotifier::TimePoint> ServiceNotifier::NextKeepAlive() const {
    return std::nullopt;
}
void ServiceNotifier::Send(const std::string&) {}

}  // namespace tolvane
