#include "os/FileWrite.h"

#include <windows.h>

#include "os/Win32Text.h"

// windows.h maps DeleteFile to DeleteFileW; ours is another function.
#undef DeleteFile

namespace tolvane {

bool WriteFileTruncating(const std::string& path, std::string_view bytes) {
    // Never through what stands under the name: a file there (or a link, which goes alone) is
    // removed, and the file made new, with the access list its folder hands down. Whatever
    // cannot be removed, a read-only file included, fails the write.
    const std::wstring wide = PathToWide(path);
    DeleteFileW(wide.c_str());
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    return CloseHandle(file) && ok;
}

bool ClearReadOnly(const std::string& path) {
    // Archive alone: read-only, hidden and system cleared, the file's times untouched.
    const std::wstring wide = PathToWide(path);
    return GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES &&
           SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_ARCHIVE);
}

bool DeleteFile(const std::string& path) {
    return DeleteFileW(PathToWide(path).c_str());
}

}  // namespace tolvane
