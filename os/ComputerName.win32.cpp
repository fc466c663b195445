#include "os/ComputerName.h"

#include <windows.h>

#include "os/Win32Text.h"

namespace tolvane {

std::string SystemHostName() {
    // The DNS host name, whole: the name the system resolves for itself. The NetBIOS name is
    // cut to 15 characters and upper case, and need not resolve at all.
    wchar_t name[256] = {};
    DWORD size = 256;
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size)) {
        return SystemNetBiosName();
    }
    return FromWide(std::wstring_view(name, size));
}

std::string SystemNetBiosName() {
    // At most 15 characters, as the SMTP greeting's 16-character buffer takes.
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size)) {
        return {};
    }
    return FromWide(std::wstring_view(name, size));
}

}  // namespace tolvane
