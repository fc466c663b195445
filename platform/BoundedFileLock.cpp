#include "platform/BoundedFileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace tolvane {

namespace {

int OpenShared(const std::string& path) {
    // Opening without O_CREAT first: in a sticky folder such as /tmp the kernel may refuse
    // O_CREAT on a file that another user owns.
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0 || errno != ENOENT) {
            return fd;
        }
        fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

}  // namespace

BoundedFileLock::BoundedFileLock(const std::string& path, std::chrono::milliseconds wait) {
    fd_ = OpenShared(path);
    if (fd_ < 0) {
        return;
    }
    const auto end = std::chrono::steady_clock::now() + wait;
    while (true) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            locked_ = true;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

BoundedFileLock::~BoundedFileLock() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

}  // namespace tolvane
