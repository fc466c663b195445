#pragma once

#include <string>
#include <string_view>

namespace tolvane {

// Replaces the file's contents in one step: the bytes go into a new file in the same folder,
// which then takes the name, so a reader sees the old contents or the new, never a part. The
// path is CP932, as the settings hold it. False when the new file cannot be written or cannot
// take the name; the old file is then as it was.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace tolvane
