#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tolvane {

// The mail's TLS and authentication, named as the settings name them. At the defaults the
// dialogue is the plain one.
struct MailSecurity {
    std::string SmtpSecurity = "none";  // none, starttls or tls
    std::string SmtpVerify = "full";    // full, fingerprint or none
    std::string SmtpFingerprint;
    std::string SmtpUser;          // empty: no AUTH
    std::string SmtpTokenCommand;  // empty: AUTH with the password; else XOAUTH2
    // The password for AUTH; nothing: the stored one, read only when it is needed.
    std::optional<std::string> SmtpPassword;
};

// Whether the dialogue runs over TLS, and whether it takes any certificate then.
inline bool UsesTls(const MailSecurity& security) {
    return security.SmtpSecurity == "starttls" || security.SmtpSecurity == "tls";
}
inline bool LeavesCertificateUnverified(const MailSecurity& security) {
    return UsesTls(security) && security.SmtpVerify == "none";
}

// The notification mail as one call: (From, To, Subject, Body, Smtp, SmtpPort, security,
// reason) -> 1 sent, 0 not. SendNotificationMail, or what a test puts in its place.
using MailDispatch = std::function<int(
    const std::string& from, const std::string& to, const std::string& subject,
    const std::string& body, const std::string& smtp, std::uint32_t smtpPort,
    const MailSecurity& security, std::string& reason)>;

}  // namespace tolvane
