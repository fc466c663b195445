#pragma once

// What only POSIX has of files: descriptors, flock, "/" paths. For the code above os/ that
// exists only on Linux (the file-backed registry, the stand-ins).
#include <chrono>
#include <string>
#include <string_view>

namespace tolvane {

// Writes all the bytes, going on after short writes and interruptions.
bool WriteAll(int fd, std::string_view bytes);
// Reads to the end in place of contents, going on after interruptions; the caller closes fd.
bool ReadAll(int fd, std::string& contents);

// ReadWholeFile for a regular file only, reached without following a link and without blocking on
// what stands under the name (a FIFO).
bool ReadRegularFile(const std::string& path, std::string& contents);

// ReplaceFileAtomically with the file's mode (made no wider than 0600 before it is set), errno
// kept from the step that failed.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, unsigned mode);

// The folder part of a path: "." without a slash, "/" for a file in the root.
std::string FolderOf(const std::string& path);

// An exclusive flock on a file (created readable for all when missing, so that a lock file
// made by root serves its user too), waited for no longer than the given time. Released by the
// destructor.
class FileLock {
public:
    explicit FileLock(const std::string& path,
                      std::chrono::milliseconds wait = std::chrono::milliseconds::max());
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    // False when the lock file could not be opened or created; Error() says why.
    bool Opened() const { return fd_ >= 0; }
    bool Locked() const { return locked_; }
    int Error() const { return error_; }

private:
    int fd_ = -1;
    bool locked_ = false;
    int error_ = 0;
};

}  // namespace tolvane
