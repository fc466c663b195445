#pragma once

namespace tolvane {

// Whether a folder's security descriptor lets only SYSTEM, Administrators, TrustedInstaller and
// the account this program runs as write into it, delete from it or change it: its owner is
// one of them, it has an access list, and every entry that grants any of these rights on the
// folder itself names one of them. What ScriptFolder asks of the folder it writes the script
// into.
bool OnlyTrustedMayWrite(void* securityDescriptor);

}  // namespace tolvane
