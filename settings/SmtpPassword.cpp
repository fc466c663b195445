#include "settings/SmtpPassword.h"

#include "registry/Registry.h"

namespace tolvane {

std::string SmtpPasswordPlace() {
    // Beside the store the settings come from, so that each store (a user's, the system's, a
    // test's) has its own.
    return SecretPlace(RegistryHive::ClassesRootPath(), "SmtpPassword");
}

StoredPassword ReadSmtpPassword() {
    return ReadSecret(SmtpPasswordPlace());
}

bool StoreSmtpPassword(const std::string& password, std::string& reason) {
    return StoreSecret(SmtpPasswordPlace(), password, reason);
}

}  // namespace tolvane
