// The installer's custom action: with TOLVANE_SERVICE=1 (or an upgrade of an automatic service)
// the service that ServiceInstall registered on demand start is made automatic and started.
// ServiceInstall's start type is fixed in the package and wixl has no conditional components,
// so this is done here, through the service control manager as on any Windows.
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

}  // namespace

// A start that fails leaves the installation in place: the service's state and the Event Log
// tell the administrator why. A start type that cannot be set fails the installation.
extern "C" __declspec(dllexport) UINT __stdcall StartServiceAutomatically(MSIHANDLE install) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) {
        Log(install, L"the service control manager cannot be opened", GetLastError());
        return ERROR_INSTALL_FAILURE;
    }
    UINT result = ERROR_SUCCESS;
    SC_HANDLE service = OpenServiceW(manager, L"IISTolvane", SERVICE_CHANGE_CONFIG | SERVICE_START);
    if (service == nullptr) {
        Log(install, L"the service cannot be opened", GetLastError());
        result = ERROR_INSTALL_FAILURE;
    } else {
        if (!ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE,
                                  nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)) {
            Log(install, L"the service cannot be made automatic", GetLastError());
            result = ERROR_INSTALL_FAILURE;
        } else if (!StartServiceW(service, 0, nullptr)) {
            Log(install, L"the service did not start", GetLastError());
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return result;
}
