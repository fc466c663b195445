#pragma once

#include <string>

namespace tolvane {

// The system folder (GetSystemDirectory), without a trailing backslash; empty when unknown.
std::wstring SystemFolder();

// What CreateProcess gets for a line of the restart or the mail: the program's full path in the
// system folder and the line that names it so. The interpreter that command.com or cmd names is
// the folder's command.com where it has one, else its cmd.exe; the program after its /C is
// named by full path too, inside /S quotes. Empty when a program of the line is not there.
struct SystemLine {
    std::wstring application;
    std::wstring line;
};
SystemLine ToSystemLine(const std::wstring& folder, const std::wstring& line);

}  // namespace tolvane
