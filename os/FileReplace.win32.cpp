#include "os/FileReplace.h"

#include <windows.h>

#include <algorithm>

#include "os/Win32Text.h"

namespace tolvane {

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
    const std::wstring target = PathToWide(path);
    const std::wstring temporary = target + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = true;
    std::string_view left = bytes;
    while (ok && !left.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left.size(), 1u << 20));
        ok = WriteFile(file, left.data(), chunk, &written, nullptr) && written > 0;
        left.remove_prefix(written);
    }
    ok = CloseHandle(file) && ok;
    ok = ok && MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
    if (!ok) {
        DeleteFileW(temporary.c_str());
    }
    return ok;
}

}  // namespace tolvane
