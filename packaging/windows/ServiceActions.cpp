// The installer's custom actions on the service IISTolvane, through the service control manager.
// With TOLVANE_SERVICE=1 (or an upgrade of an automatic service) the service that ServiceInstall
// registered on demand start is made automatic and started: ServiceInstall's start type is fixed
// in the package and wixl has no conditional components. Before a removal the service is
// stopped and waited for as long as it reports progress: a restart under way is finished first,
// which can take longer than the installer's own wait.
#include <windows.h>
// clang-format off
#include <msi.h>
#include <msiquery.h>
// clang-format on

namespace {

// One line in the installer's log (msiexec /l*v).
void Log(MSIHANDLE install, const wchar_t* text, DWORD error) {
    wchar_t line[256];
    wsprintfW(line, L"IISTolvane: %s (error %lu)", text, error);
    MSIHANDLE record = MsiCreateRecord(0);
    MsiRecordSetStringW(record, 0, line);
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
    MsiCloseHandle(record);
}

// SCM handles, closed with their scope.
class Handle {
public:
    explicit Handle(SC_HANDLE handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (handle_ != nullptr) {
            CloseServiceHandle(handle_);
        }
    }
    SC_HANDLE get() const { return handle_; }

private:
    SC_HANDLE handle_;
};

// The service IISTolvane with `access`; null, with GetLastError's reason, when it cannot be opened.
// A service handle stays usable after its manager's handle is closed.
SC_HANDLE OpenOurService(DWORD access) {
    SC_HANDLE service = nullptr;
    DWORD error = 0;
    {
        Handle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        service = manager.get() == nullptr ? nullptr
                                           : OpenServiceW(manager.get(), L"IISTolvane", access);
        error = GetLastError();
    }
    // Closing the manager's handle must not hide why the service could not be opened.
    SetLastError(error);
    return service;
}

}  // namespace

// A start that fails leaves the installation in place: the service's state and the Event Log
// tell the administrator why. A start type that cannot be set fails the installation.
extern "C" __declspec(dllexport) UINT __stdcall StartServiceAutomatically(MSIHANDLE install) {
    Handle service(OpenOurService(SERVICE_CHANGE_CONFIG | SERVICE_START));
    if (service.get() == nullptr) {
        Log(install, L"the service cannot be opened", GetLastError());
        return ERROR_INSTALL_FAILURE;
    }
    if (!ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, SERVICE_AUTO_START,
                              SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr)) {
        Log(install, L"the service cannot be made automatic", GetLastError());
        return ERROR_INSTALL_FAILURE;
    }
    if (!StartServiceW(service.get(), 0, nullptr)) {
        Log(install, L"the service did not start", GetLastError());
    }
    return ERROR_SUCCESS;
}

// Stops the service and waits until it has stopped, while its checkpoint advances or its wait
// hint has not run out (at least 30 s without progress, as Windows Installer waits). A service
// that does not stop fails the installation or removal, which is then undone.
extern "C" __declspec(dllexport) UINT __stdcall StopServiceAndWait(MSIHANDLE install) {
    Handle service(OpenOurService(SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (service.get() == nullptr) {
        return ERROR_SUCCESS;  // not registered: nothing to stop
    }
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service.get(), &status)) {
        Log(install, L"the service's state cannot be read", GetLastError());
        return ERROR_INSTALL_FAILURE;
    }
    if (status.dwCurrentState == SERVICE_STOPPED) {
        return ERROR_SUCCESS;
    }
    if (status.dwCurrentState != SERVICE_STOP_PENDING &&
        !ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
        Log(install, L"the service refused to stop", GetLastError());
    }
    DWORD checkpoint = status.dwCheckPoint;
    ULONGLONG progress = GetTickCount64();
    while (QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED) {
        if (status.dwCheckPoint != checkpoint) {
            checkpoint = status.dwCheckPoint;
            progress = GetTickCount64();
        } else if (GetTickCount64() - progress >
                   (status.dwWaitHint > 30000 ? status.dwWaitHint : 30000)) {
            Log(install, L"the service did not stop", ERROR_SERVICE_REQUEST_TIMEOUT);
            return ERROR_INSTALL_FAILURE;
        }
        Sleep(200);
    }
    return status.dwCurrentState == SERVICE_STOPPED ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

// The SMTP password the programs keep under HKLM (sealed for this machine) goes with the
// product: nothing of it stays on a machine it was removed from. An upgrade keeps it. A key that
// cannot be removed is logged, not a reason to undo the removal.
extern "C" __declspec(dllexport) UINT __stdcall RemoveKeptSecrets(MSIHANDLE install) {
    const LSTATUS status = RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\IIS Tolvane\\Secret");
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        Log(install, L"the kept SMTP password cannot be removed", static_cast<DWORD>(status));
    }
    // The product's own key, once nothing is under it.
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\IIS Tolvane");
    return ERROR_SUCCESS;
}
