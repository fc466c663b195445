#pragma once

#include <chrono>
#include <string>

namespace tolvane {

// An exclusive flock on a file shared by every user of the machine, waited for no longer than
// the given time. The file is created world-readable when missing and opened read-only, so
// another user's lock file serves as well. Released by the destructor.
class BoundedFileLock {
public:
    BoundedFileLock(const std::string& path, std::chrono::milliseconds wait);
    BoundedFileLock(const BoundedFileLock&) = delete;
    BoundedFileLock& operator=(const BoundedFileLock&) = delete;
    ~BoundedFileLock();

    // False when the lock file could not be opened or created at all.
    bool Opened() const { return fd_ >= 0; }
    bool Locked() const { return locked_; }

private:
    int fd_ = -1;
    bool locked_ = false;
};

}  // namespace tolvane
