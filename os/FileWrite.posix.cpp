#include "os/FileWrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "os/File.h"
#include "os/File.posix.h"

namespace tolvane {

namespace {

constexpr int kNoSurprises = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

// A regular file of the user's with no other name: a write can reach no other file.
bool IsOwnPlainFile(int fd, struct stat& info) {
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1 &&
           info.st_uid == ::geteuid();
}

}  // namespace

bool WriteFileTruncating(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | kNoSurprises, 0644);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (!IsOwnPlainFile(fd, info)) {
        ::close(fd);
        return false;
    }
    const bool ok = ::ftruncate(fd, 0) == 0 && WriteAll(fd, bytes);
    return ::close(fd) == 0 && ok;
}

bool ClearReadOnly(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | kNoSurprises);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    const bool ok = IsOwnPlainFile(fd, info) && ::fchmod(fd, (info.st_mode & 07777) | S_IWUSR) == 0;
    ::close(fd);
    return ok;
}

bool DeleteFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

}  // namespace tolvane
