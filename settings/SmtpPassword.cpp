#include "settings/SmtpPassword.h"

namespace tolvane {

StoredPassword ReadSmtpPassword() {
    return {};
}

bool StoreSmtpPassword(const std::string&, std::string& reason) {
    reason = "no place to keep the password yet";
    return false;
}

}  // namespace tolvane
