// The notification mail over TLS and with AUTH against Debian's aiosmtpd (tests/mail/
// smtp_sink.py) with make_test_certs.sh's certificates: each case of the shared table, and the
// mail's bytes after the handshake the same as the plain dialogue's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/MailTexts.h"
#include "mail/SendNotificationMail.h"
#include "mail/SendTestMail.h"
#ifdef _WIN32
#include "tests/win32/Win32SmtpSink.h"
#else
#include "tests/mail/MailTestSupport.h"
#endif
#include "tests/mail/TlsMailCases.h"
#include "tests/support/TlsPeers.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;

const std::string kFrom = "watchdog@example.com";
const std::string kTo = "admin@example.com;ops@example.com";
const std::string kSubject = test::Cp932("再起動のお知らせ");
const std::string kBody = test::Cp932("IIS を再起動しました。\r\n.\r\n最後の行");

MailLimits Limits(bool shortLimits) {
    MailLimits limits;
    limits.resolve = test::ResolveLocally;
    if (shortLimits) {
        limits.replyTimeout = std::chrono::milliseconds(test::kTlsMailShortReplyMs);
        limits.tokenCommandTimeout = limits.replyTimeout;
    }
    return limits;
}

// The message without its Date line, which differs from one sending to the next.
std::string WithoutDate(const std::string& raw) {
    const auto at = raw.find("\r\nDate: ");
    if (at == std::string::npos) {
        return raw;
    }
    return raw.substr(0, at) + raw.substr(raw.find("\r\n", at + 2));
}

class TlsMailTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(test::TrustedTestCerts().Error(), ""); }

    static std::string Cert(const std::string& text) {
        return text[0] == '@' ? test::TrustedTestCerts().File(text.substr(1)) : text;
    }

    // What the plain dialogue delivers for the same mail.
    static std::string PlainRaw() {
        test::SmtpSink sink;
        std::string reason;
        EXPECT_EQ(SendNotificationMailUsing(Limits(false), kFrom, kTo, kSubject, kBody, "localhost",
                                            sink.Port(), {}, reason),
                  1)
            << test::Utf8(reason);
        EXPECT_TRUE(sink.WaitForMessages(1, 10s));
        const auto mails = sink.Messages();
        return mails.empty() ? std::string() : WithoutDate(mails[0].raw);
    }
};

TEST_F(TlsMailTest, EachServerGivesItsOutcomeAndTheMailArrivesAsThePlainOne) {
    const std::string plain = PlainRaw();
    ASSERT_FALSE(plain.empty());
    for (const test::TlsMailCase& c : test::TlsMailCases()) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> options;
        for (const std::string& option : c.sink) {
            options.push_back(Cert(option));
        }
        test::SmtpSink sink(options);
        ASSERT_TRUE(sink.Running()) << sink.StartError();
        MailSecurity security;
        security.SmtpSecurity = c.security;
        security.SmtpVerify = c.verify;
        security.SmtpFingerprint = c.fingerprint[0] == '@'
                                       ? test::TrustedTestCerts().Fingerprint(c.fingerprint + 1)
                                       : c.fingerprint;
        security.SmtpUser = c.user;
        security.SmtpPassword = c.password;
        if (*c.token != '\0') {
            security.SmtpTokenCommand = test::TokenCommand(c.token);
        }
        std::string reason;
        const int sent =
            SendNotificationMailUsing(Limits(c.shortLimits), kFrom, kTo, kSubject, kBody,
                                      "localhost", sink.Port(), security, reason);
        EXPECT_EQ(sent, c.sent ? 1 : 0) << test::Utf8(reason);
        EXPECT_EQ(reason.rfind(c.reason, 0), 0u)
            << test::Utf8(reason) << " / " << test::Utf8(c.reason);
        EXPECT_EQ(reason.find_first_of("\r\n"), std::string::npos);
        if (*c.password != '\0') {
            EXPECT_EQ(reason.find(c.password), std::string::npos);
        }
        if (!c.sent) {
            continue;
        }
        ASSERT_TRUE(sink.WaitForMessages(1, 10s));
        const auto mails = sink.Messages();
        ASSERT_EQ(mails.size(), 1u);
        EXPECT_EQ(mails[0].session, c.session);
        EXPECT_EQ(WithoutDate(mails[0].raw), plain);
        EXPECT_EQ(mails[0].recipients,
                  (std::vector<std::string>{"admin@example.com", "ops@example.com"}));
    }
}

// Without TLS nothing of the user's goes out: the mail fails before it connects.
TEST_F(TlsMailTest, AUserWithoutTlsFailsBeforeConnecting) {
    test::LoopbackOnlyListener listener;
    MailSecurity security;
    security.SmtpUser = test::kTlsMailUser;
    security.SmtpPassword = test::kTlsMailPassword;
    std::string reason;
    EXPECT_EQ(SendNotificationMailUsing(Limits(true), kFrom, kTo, kSubject, kBody, "127.0.0.1",
                                        listener.Port(), security, reason),
              0);
    EXPECT_EQ(reason, mailtexts::AuthNeedsTls());
    EXPECT_EQ(listener.Accept(0), -1);
}

// The address in the certificate counts as its name; the send test says when nothing was
// verified, also when the mail went out.
TEST_F(TlsMailTest, TheSendTestSaysWhenTheCertificateWasNotVerified) {
    test::SmtpSink sink({"--tls", Cert("@server")});
    ASSERT_TRUE(sink.Running()) << sink.StartError();
    const MailDispatch send = [](const std::string& from, const std::string& to,
                                 const std::string& subject, const std::string& body,
                                 const std::string& smtp, std::uint32_t port,
                                 const MailSecurity& security, std::string& reason) {
        return SendNotificationMailUsing(Limits(false), from, to, subject, body, smtp, port,
                                         security, reason);
    };
    const struct {
        const char* verify;
        std::string message;
    } cases[] = {
        {"full", mailtexts::TestMailSent()},
        {"none", mailtexts::TestMailSent() + mailtexts::NotVerified()},
    };
    std::size_t count = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.verify);
        MailSecurity security;
        security.SmtpSecurity = "tls";
        security.SmtpVerify = c.verify;
        std::string from = kFrom;
        std::string to = kTo;
        const TestMailResult result =
            SendTestMail(from, to, kSubject, kBody, "127.0.0.1", sink.Port(), security, send);
        EXPECT_EQ(test::Utf8(result.message), test::Utf8(c.message));
        EXPECT_TRUE(sink.WaitForMessages(++count, 10s));
    }
}

}  // namespace
}  // namespace tolvane
