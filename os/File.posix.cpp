#include "os/File.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "os/File.posix.h"

namespace tolvane {

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool AppendToFile(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    ssize_t n;
    do {
        n = ::write(fd, bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    const bool whole = n == static_cast<ssize_t>(bytes.size());
    if (n > 0 && !whole) {
        // A full disk or a size limit let only part of the bytes in. Cut them off again, so
        // the file never holds a torn line nor glues the next one to it; only when nobody
        // has appended behind them, as cutting would then take another writer's line too.
        const off_t end = ::lseek(fd, 0, SEEK_CUR);
        struct stat info {};
        if (end >= n && ::fstat(fd, &info) == 0 && info.st_size == end) {
            [[maybe_unused]] const int cut = ::ftruncate(fd, end - n);
        }
    }
    const bool closed = ::close(fd) == 0;
    return whole && closed;
}

bool ReadAll(int fd, std::string& contents) {
    contents.clear();
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            return true;
        }
        contents.append(buffer, static_cast<std::size_t>(n));
    }
}

namespace {

bool ReadAndClose(int fd, std::string& contents) {
    const bool read = ReadAll(fd, contents);
    ::close(fd);
    return read;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& contents) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd >= 0 && ReadAndClose(fd, contents);
}

bool ReadRegularFile(const std::string& path, std::string& contents) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    return ReadAndClose(fd, contents);
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool MakeDirectories(const std::string& folder) {
    if (folder.empty()) {
        return true;
    }
    std::size_t at = 0;
    while (at != std::string::npos) {
        at = folder.find('/', at + 1);
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

FileLock::FileLock(const std::string& path, std::chrono::milliseconds wait) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        error_ = errno;
        return;
    }
    const bool forever = wait == std::chrono::milliseconds::max();
    const auto end = forever ? std::chrono::steady_clock::time_point::max()
                             : std::chrono::steady_clock::now() + wait;
    while (true) {
        if (::flock(fd_, forever ? LOCK_EX : LOCK_EX | LOCK_NB) == 0) {
            locked_ = true;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            error_ = errno;
            return;
        }
        if (std::chrono::steady_clock::now() >= end) {
            error_ = EWOULDBLOCK;
            return;
        }
        if (errno == EWOULDBLOCK) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}

FileLock::~FileLock() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

AppendResult TryAppendToFile(const std::string& path, std::string_view bytes) {
    // Opening is never refused for another process's open here.
    return AppendToFile(path, bytes) ? AppendResult::Written : AppendResult::Failed;
}

}  // namespace tolvane
