#include "os/ComputerName.h"

#include <windows.h>

#include "os/Win32Text.h"

namespace tolvane {

std::string SystemHostName() {
    // The NetBIOS name: at most 15 characters, as the SMTP greeting's 16-character buffer takes.
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size)) {
        return {};
    }
    return FromWide(std::wstring_view(name, size));
}

}  // namespace tolvane
