#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "mail/MailDispatch.h"

namespace tolvane {

// The send test of the mail settings dialog and of `tolvanectl send-test-mail`: sender and
// recipients without blanks around them, both required, then one mail with the values given.
struct TestMailResult {
    enum class Outcome { AddressMissing, Sent, NotSent };
    Outcome outcome = Outcome::AddressMissing;
    std::string message;  // what to tell the user, CP932; with the reason when not sent
};
// Trims from and to in place. Calls beforeSending (when given) once the addresses are there,
// right before the mail goes out.
TestMailResult SendTestMail(std::string& from, std::string& to, const std::string& subject,
                            const std::string& body, const std::string& smtp,
                            std::uint32_t smtpPort, const MailSecurity& security,
                            const MailDispatch& send,
                            const std::function<void()>& beforeSending = {});

}  // namespace tolvane
