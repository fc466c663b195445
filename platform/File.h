#pragma once

#include <string>
#include <string_view>

namespace tolvane {

// Appends the bytes in one write on a descriptor opened for appending, so a line is never
// torn or mixed with another writer's. A write that comes back short is cut off again: the
// bytes go in whole or not at all. The file is created (0644) when missing.
bool AppendToFile(const std::string& path, std::string_view bytes);

// Writes all the bytes, going on after short writes and interruptions.
bool WriteAll(int fd, std::string_view bytes);

bool ReadWholeFile(const std::string& path, std::string& contents);
// The same for a regular file only, reached without following a link and without blocking on
// what stands under the name (a FIFO). POSIX only: the stand-ins that read so exist only there.
bool ReadRegularFile(const std::string& path, std::string& contents);

// Replaces the file atomically: temporary file in the same folder, fsync, rename, fsync of
// the folder. A crash at any moment leaves the old or the new file.
bool ReplaceFileAtomically(const std::string& path, std::string_view contents);

bool FileExists(const std::string& path);

// Creates the folder and its missing parents.
bool MakeDirectories(const std::string& folder);

// An exclusive flock on a file (created when missing), released by the destructor.
class FileLock {
public:
    explicit FileLock(const std::string& path);
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();
    bool Locked() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace tolvane
