#pragma once

#include <string>
#include <string_view>

namespace tolvane {

// Creates the file anew, or empties it when it exists, and writes the bytes (mode 0644 before
// the umask). Never follows a link nor blocks on what stands under the name: anything but a
// regular file of the user's with one name (a link, a FIFO, a folder, another user's file) is
// left untouched. False when it is such a thing, or when opening, writing or closing fails.
// On Windows a file that is there is removed first and a new one made in its place.
bool WriteFileTruncating(const std::string& path, std::string_view bytes);

// Gives the owner write permission again, as clearing the read-only attribute does; the file's
// times stay as they were. Only for a regular file of the user's with one name, reached without
// following a link; false for anything else or when it cannot be changed.
bool ClearReadOnly(const std::string& path);

// Removes a file (not a folder); false when it cannot be removed.
bool DeleteFile(const std::string& path);

}  // namespace tolvane
