#pragma once

#include <string>

namespace tolvane {

// What the service control manager of this machine answers when this program asks to start
// and stop a service.
enum class ServiceAccess { Granted, Denied, Missing };

// Asks for SERVICE_START | SERVICE_STOP on the service `name` (ASCII). A manager that refuses
// even the connection denies every service; a service that does not exist is no lack of rights,
// and any other failure is not taken for one either.
ServiceAccess StartStopAccess(const std::string& name);

}  // namespace tolvane
