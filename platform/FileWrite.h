#pragma once

#include <string>
#include <string_view>

namespace tolvane {

// Creates the file anew, or empties it when it exists, and writes the bytes (mode 0644 before
// the umask). False when opening, writing or closing fails.
bool WriteFileTruncating(const std::string& path, std::string_view bytes);

// Gives the owner write permission again, as clearing the read-only attribute does; the file's
// times stay as they were. False when the file's status cannot be read or changed.
bool ClearReadOnly(const std::string& path);

// Removes a file (not a folder); false when it cannot be removed.
bool DeleteFile(const std::string& path);

}  // namespace tolvane
