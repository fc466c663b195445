#include "mail/SendNotificationMail.h"

#include <string_view>

#include "mail/MailMessage.h"
#include "mail/MailTexts.h"
#include "mail/ScriptMailer.h"
#include "mail/SmtpClient.h"
#include "os/Clock.h"

namespace tolvane {

namespace {

// The texts are C strings: a stray zero byte ends them.
std::string UpToZero(const std::string& text) {
    return text.substr(0, text.find('\0'));
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

int SendNotificationMail(const std::string& From, const std::string& To, const std::string& Subject,
                         const std::string& Body, const std::string& Smtp, std::uint32_t SmtpPort,
                         std::string& reason) {
    return SendNotificationMailUsing(MailLimits{}, From, To, Subject, Body, Smtp, SmtpPort,
                                     MailSecurity{}, reason);
}

namespace {

MailDispatch DispatchWithin(const MailLimits& limits) {
    return [limits](const std::string& From, const std::string& To, const std::string& Subject,
                    const std::string& Body, const std::string& Smtp, std::uint32_t SmtpPort,
                    const MailSecurity& security, std::string& reason) {
        return SendNotificationMailUsing(limits, From, To, Subject, Body, Smtp, SmtpPort,
                                         security, reason);
    };
}

}  // namespace

MailDispatch NotificationMail() {
    return DispatchWithin(MailLimits{});
}

MailDispatch NotificationMailOn(Clock& clock) {
    MailLimits limits;
    limits.serve = &clock;
    return DispatchWithin(limits);
}

int SendNotificationMailUsing(const MailLimits& limits, const std::string& From,
                              const std::string& To, const std::string& Subject,
                              const std::string& Body, const std::string& Smtp,
                              std::uint32_t SmtpPort, const MailSecurity& security,
                              std::string& reason) {
    const std::string from = UpToZero(From);
    const std::string to = UpToZero(To);
    const std::string subject = UpToZero(Subject);
    const std::string body = UpToZero(Body);
    const std::string smtp = UpToZero(Smtp);
    // A line break in an address would add commands to the dialogue and lines to the header.
    if (HasLineBreak(from) || HasLineBreak(to)) {
        reason = mailtexts::LineBreakInAddress();
        return 0;
    }
    if (smtp.empty()) {
        Clock& clock = limits.serve != nullptr ? *limits.serve : RealClock();
        switch (ScriptMailer::Send(from, to, subject, body, clock)) {
            case ScriptMailer::Result::Sent:
                return 1;
            case ScriptMailer::Result::NotRegistered:
                reason = mailtexts::ScriptFailed() + mailtexts::MailObjectNotRegistered();
                return 0;
            case ScriptMailer::Result::NoMailObject:
                reason = mailtexts::ScriptFailed() + mailtexts::MailObjectNotCreated();
                return 0;
            case ScriptMailer::Result::Failed:
                break;
        }
        reason = mailtexts::ScriptFailed();
        return 0;
    }
    const MailMessage message = MailMessage::Compose(from, to, subject, body, RealClock().Now());
    SmtpClient session(limits, security);
    const int sent =
        session.Send(smtp, SmtpPort, message.SenderLine, message.RecipientLines, message.Text);
    reason = session.LastError;
    if (sent == 0 && LeavesCertificateUnverified(security)) {
        reason += mailtexts::NotVerified();
    }
    return sent;
}

}  // namespace tolvane
