#pragma once

#include <string>

namespace tolvane {

// The SMTP password for AUTH, kept apart from the other settings where no other local account
// can read it, and never printed.
struct StoredPassword {
    enum class Outcome { Found, Missing, Refused };
    Outcome outcome = Outcome::Missing;
    std::string value;   // Found: the password
    std::string reason;  // Refused: why it is not used, one line
};

StoredPassword ReadSmtpPassword();
// Stores the password; an empty one removes it. False, with the reason, when it cannot.
bool StoreSmtpPassword(const std::string& password, std::string& reason);

}  // namespace tolvane
