#pragma once

namespace tolvane {

// Whether the mail object that the mail script creates, "CDONTS.NewMail", exists on this
// system. The script ignores every error of its own, so this is what its exit code cannot
// tell; CDONTS is gone from every Windows since Server 2003. On Linux the CSCRIPT.EXE stand-in
// hands the mail on itself and reports the outcome in its exit code.
bool ScriptMailObjectRegistered();

}  // namespace tolvane
