#include "os/File.h"

#include <windows.h>

#include "os/Win32Text.h"

namespace tolvane {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// An open file handle, closed by the destructor.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { Close(); }
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    bool Close() {
        const bool closed = !IsOpen() || CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};

HANDLE Open(const std::string& path, DWORD access, DWORD disposition) {
    return CreateFileW(PathToWide(path).c_str(), access, kShareAll, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// A write that came back short is cut off again, so the file never holds a torn line nor
// glues the next one to it; only when nobody has appended behind it, as cutting would then
// take another writer's line too.
void CutShortWrite(const std::string& path, HANDLE file, DWORD written) {
    LARGE_INTEGER end{};
    LARGE_INTEGER size{};
    const LARGE_INTEGER zero{};
    if (!SetFilePointerEx(file, zero, &end, FILE_CURRENT) || !GetFileSizeEx(file, &size) ||
        end.QuadPart != size.QuadPart || end.QuadPart < written) {
        return;
    }
    // The append-only handle cannot shorten the file; a writing one can.
    FileHandle cutter(Open(path, GENERIC_WRITE, OPEN_EXISTING));
    LARGE_INTEGER cut{};
    cut.QuadPart = end.QuadPart - written;
    if (cutter.IsOpen() && SetFilePointerEx(cutter.Get(), cut, nullptr, FILE_BEGIN)) {
        SetEndOfFile(cutter.Get());
    }
}

}  // namespace

AppendResult TryAppendToFile(const std::string& path, std::string_view bytes) {
    // Append-only access: every write lands at the end, whoever else writes the file.
    FileHandle file(Open(path, FILE_APPEND_DATA, OPEN_ALWAYS));
    if (!file.IsOpen()) {
        const DWORD error = GetLastError();
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
                   ? AppendResult::Locked
                   : AppendResult::Failed;
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    if (!ok && written > 0) {
        CutShortWrite(path, file.Get(), written);
    }
    return file.Close() && ok ? AppendResult::Written : AppendResult::Failed;
}

bool AppendToFile(const std::string& path, std::string_view bytes) {
    return TryAppendToFile(path, bytes) == AppendResult::Written;
}

bool ReadWholeFile(const std::string& path, std::string& contents) {
    FileHandle file(Open(path, GENERIC_READ, OPEN_EXISTING));
    if (!file.IsOpen()) {
        return false;
    }
    contents.clear();
    char buffer[65536];
    while (true) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        contents.append(buffer, got);
    }
}

bool FileExists(const std::string& path) {
    return GetFileAttributesW(PathToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeDirectories(const std::string& folder) {
    if (folder.empty()) {
        return true;
    }
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at == folder.size() || IsSeparator(folder[at])) {
            const std::string part = folder.substr(0, at);
            if (!part.empty() && part.back() != ':' &&
                !CreateDirectoryW(PathToWide(part).c_str(), nullptr) &&
                GetLastError() != ERROR_ALREADY_EXISTS) {
                return false;
            }
        }
    }
    const DWORD attributes = GetFileAttributesW(PathToWide(folder).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace tolvane
