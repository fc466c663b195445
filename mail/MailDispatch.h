#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tolvane {

// The notification mail as one call: (From, To, Subject, Body, Smtp, SmtpPort, reason) -> 1
// sent, 0 not. SendNotificationMail, or what a test puts in its place.
using MailDispatch = std::function<int(
    const std::string& from, const std::string& to, const std::string& subject,
    const std::string& body, const std::string& smtp, std::uint32_t smtpPort, std::string& reason)>;

}  // namespace tolvane
