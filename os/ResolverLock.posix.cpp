#include "os/ResolverLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

namespace tolvane {

namespace {

constexpr const char* kSemaphoreName = "SWAPPREENTRANTFUNCSWAPPREENTRANTFUNC";

// Never follows a link and never blocks (a FIFO planted under the name would block a plain
// open for ever); only a regular file of this user serves as the lock.
int OpenOwnLockFile(const std::string& path) {
    const int fd =
        ::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

std::string ResolverLock::DefaultName() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        return std::string(runtime) + "/" + kSemaphoreName + ".lock";
    }
    // A name of the user's own in the machine's lock folder, which anyone may write to.
    struct stat info {};
    const std::string folder = ::stat("/run/lock", &info) == 0 ? "/run/lock/" : "/tmp/";
    return folder + kSemaphoreName + "-" + std::to_string(::geteuid()) + ".lock";
}

ResolverLock::ResolverLock(const std::string& name, std::chrono::milliseconds wait) {
    const int fd = OpenOwnLockFile(name);
    if (fd < 0) {
        return;
    }
    handle_ = fd;
    const auto end = std::chrono::steady_clock::now() + wait;
    while (true) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            locked_ = true;
            return;
        }
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= end) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

ResolverLock::~ResolverLock() {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));
    }
}

}  // namespace tolvane
