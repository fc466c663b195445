#pragma once

#include <string>

namespace tolvane {

// A secret (a password) kept where no other local account can read it, and where a copy that
// others could read or plant is refused rather than used.
//
// Linux: a file of its own beside the settings store, made 0600 whatever the umask and replaced
// in one step; read only when it is a regular file of the running user's (or root's) that
// group and others cannot read or write. Windows: protected with DPAPI in the machine's scope
// and kept as REG_BINARY under HKEY_LOCAL_MACHINE\SOFTWARE\IIS Tolvane\Secret, whose protected
// DACL grants Administrators and SYSTEM alone; a key that lets anyone else read it is refused.
struct StoredSecret {
    enum class Outcome { Found, Missing, Refused };
    Outcome outcome = Outcome::Missing;
    std::string value;   // Found: the secret
    std::string reason;  // Refused: why it is not used, one line
};

// Where the secret called `name` is kept for the settings store at `storePath`: on Linux the
// file beside it ("<store without .reg>.<name>"); on Windows the value under the key, whatever
// the store.
std::string SecretPlace(const std::string& storePath, const std::string& name);

// Reads the secret at the place SecretPlace gave.
StoredSecret ReadSecret(const std::string& place);
// Stores the secret at the place; an empty one removes it. False, with the reason, when it
// cannot.
bool StoreSecret(const std::string& place, const std::string& secret, std::string& reason);

}  // namespace tolvane
