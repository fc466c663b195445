#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace tolvane {

// Appends the bytes in one write on a descriptor opened for appending, so a line is never
// torn or mixed with another writer's. A write that comes back short is cut off again: the
// bytes go in whole or not at all. The file is created (0644) when missing.
bool AppendToFile(const std::string& path, std::string_view bytes);

// Writes all the bytes, going on after short writes and interruptions.
bool WriteAll(int fd, std::string_view bytes);
// Reads to the end in place of contents, going on after interruptions; the caller closes fd.
bool ReadAll(int fd, std::string& contents);

bool ReadWholeFile(const std::string& path, std::string& contents);
// The same for a regular file only, reached without following a link and without blocking on
// what stands under the name (a FIFO). POSIX only: the stand-ins that read so exist only there.
bool ReadRegularFile(const std::string& path, std::string& contents);

// Replaces the file atomically: temporary file in the same folder, fsync, rename, fsync of
// the folder. A crash at any moment leaves the old or the new file.
bool ReplaceFileAtomically(const std::string& path, std::string_view contents);

bool FileExists(const std::string& path);

// The folder part of a path: "." without a slash, "/" for a file in the root.
std::string FolderOf(const std::string& path);

// Creates the folder and its missing parents.
bool MakeDirectories(const std::string& folder);

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
