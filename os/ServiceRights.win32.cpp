#include "os/ServiceRights.win32.h"

#include <windows.h>

#include "os/Win32Text.h"

namespace tolvane {

namespace {

// Closes a service handle at the end of its scope.
struct ServiceHandle {
    SC_HANDLE handle;
    ~ServiceHandle() {
        if (handle != nullptr) {
            CloseServiceHandle(handle);
        }
    }
};

ServiceAccess FromError(DWORD error) {
    if (error == ERROR_ACCESS_DENIED) {
        return ServiceAccess::Denied;
    }
    return error == ERROR_SERVICE_DOES_NOT_EXIST ? ServiceAccess::Missing : ServiceAccess::Granted;
}

}  // namespace

ServiceAccess StartStopAccess(const std::string& name) {
    const ServiceHandle manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)};
    if (manager.handle == nullptr) {
        return FromError(GetLastError());
    }
    const ServiceHandle service{
        OpenServiceW(manager.handle, ToWide(name).c_str(), SERVICE_START | SERVICE_STOP)};
    return service.handle != nullptr ? ServiceAccess::Granted : FromError(GetLastError());
}

}  // namespace tolvane
