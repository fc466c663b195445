#include "mail/SendTestMail.h"

#include "mail/MailTexts.h"
#include "text/Cp932.h"

namespace tolvane {

TestMailResult SendTestMail(std::string& from, std::string& to, const std::string& subject,
                            const std::string& body, const std::string& smtp,
                            std::uint32_t smtpPort, const MailSecurity& security,
                            const MailDispatch& send, const std::function<void()>& beforeSending) {
    from = TrimBlanks(from);
    to = TrimBlanks(to);
    if (from.empty() || to.empty()) {
        return {TestMailResult::Outcome::AddressMissing, mailtexts::AddressMissing()};
    }
    if (beforeSending) {
        beforeSending();
    }
    std::string reason;
    if (send && send(from, to, subject, body, smtp, smtpPort, security, reason) != 0) {
        return {TestMailResult::Outcome::Sent,
                mailtexts::TestMailSent() + (!smtp.empty() && LeavesCertificateUnverified(security)
                                                 ? mailtexts::NotVerified()
                                                 : "")};
    }
    return {TestMailResult::Outcome::NotSent, mailtexts::TestMailFailed() + reason};
}

}  // namespace tolvane
