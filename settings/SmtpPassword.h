#pragma once

#include <string>

#include "os/ProtectedSecret.h"

namespace tolvane {

// The SMTP password for AUTH, kept apart from the other settings where no other local account
// can read it, and never printed.
using StoredPassword = StoredSecret;

StoredPassword ReadSmtpPassword();
// Stores the password; an empty one removes it. False, with the reason, when it cannot.
bool StoreSmtpPassword(const std::string& password, std::string& reason);
// Where the password is kept, for people: the file beside the settings store, or the registry
// value on Windows.
std::string SmtpPasswordPlace();

}  // namespace tolvane
