#pragma once

#include <cstdint>
#include <string>

#include "mail/MailDispatch.h"
#include "mail/MailLimits.h"
#include "os/Clock.h"

namespace tolvane {

// The one entry into mail delivery. Texts are CP932. With Smtp set the mail goes out through
// SmtpClient, otherwise through ScriptMailer. 1 when the mail was handed over, 0 when not,
// with a one-line reason (which may stay empty) in reason.
int SendNotificationMail(const std::string& From, const std::string& To, const std::string& Subject,
                         const std::string& Body, const std::string& Smtp, std::uint32_t SmtpPort,
                         std::string& reason);

// The same with TLS and authentication as `security` asks, as a dispatch.
MailDispatch NotificationMail();
// The same, its waits pausing on `clock` (see MailLimits::serve): for a window's thread.
MailDispatch NotificationMailOn(Clock& clock);

// The same with the SMTP dialogue's bounds and name lookup given.
int SendNotificationMailUsing(const MailLimits& limits, const std::string& From,
                              const std::string& To, const std::string& Subject,
                              const std::string& Body, const std::string& Smtp,
                              std::uint32_t SmtpPort, const MailSecurity& security,
                              std::string& reason);

}  // namespace tolvane
