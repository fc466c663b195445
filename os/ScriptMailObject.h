#pragma once

#include <string>

namespace tolvane {

// Whether the mail object that the mail script creates, "CDONTS.NewMail", exists on this
// system. The script ignores every error of its own, so this is what its exit code cannot
// tell; CDONTS is gone from every Windows since Server 2003. On Linux the CSCRIPT.EXE stand-in
// hands the mail on itself and reports the outcome in its exit code.
bool ScriptMailObjectRegistered();

// The folder the mail script is written into and run from, with its trailing separator. On
// Windows a folder of its own under ProgramData that only administrators and SYSTEM can write
// (made so when missing; false when what stands there is not such a folder): the script runs
// with the monitor's rights, so no other account may write it. Elsewhere the current folder
// (empty), where the CSCRIPT.EXE stand-in reads only the command line.
bool ScriptFolder(std::string& folder);

}  // namespace tolvane
