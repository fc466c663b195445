#pragma once

#include <string>
#include <string_view>

namespace tolvane {

// Appends the bytes in one write on a descriptor opened for appending, so a line is never
// torn or mixed with another writer's. A write that comes back short is cut off again: the
// bytes go in whole or not at all. The file is created (0644) when missing.
bool AppendToFile(const std::string& path, std::string_view bytes);

// How one append ended. Locked: another process holds the file open without sharing it for
// writing (Windows), so the same append may succeed a moment later.
enum class AppendResult { Written, Locked, Failed };
AppendResult TryAppendToFile(const std::string& path, std::string_view bytes);

bool ReadWholeFile(const std::string& path, std::string& contents);
bool FileExists(const std::string& path);

// Creates the folder and its missing parents.
bool MakeDirectories(const std::string& folder);

}  // namespace tolvane
