#include "platform/FileWrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tolvane {

bool WriteFileTruncating(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    bool ok = true;
    while (ok && !bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            ok = errno == EINTR;
            continue;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return ::close(fd) == 0 && ok;
}

bool ClearReadOnly(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    return ::chmod(path.c_str(), (info.st_mode & 07777) | S_IWUSR) == 0;
}

bool DeleteFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

}  // namespace tolvane
