#pragma once

// The TLS mail's cases against tests/mail/smtp_sink.py (aiosmtpd), shared by the Linux test
// (OpenSSL) and the Windows one (SChannel under Wine), so that both dialogues give the same
// outcome and reason for each server.
#include <string>
#include <vector>

#include "mail/MailTexts.h"

namespace tolvane::test {

struct TlsMailCase {
    const char* name;
    // smtp_sink.py's options; "@NAME" stands for make_test_certs.sh's certificate NAME (the
    // path of NAME.pem and NAME.key without the extension).
    std::vector<std::string> sink;
    const char* security;     // SmtpSecurity
    const char* verify;       // SmtpVerify
    const char* fingerprint;  // SmtpFingerprint: "@NAME" for that certificate's, or the text
    const char* user;         // SmtpUser
    const char* password;
    const char* token;        // "" no token command; else what it prints (see TokenCommand)
    bool shortLimits;         // a reply (and the handshake) and the token command bounded to
                              // kTlsMailShortReplyMs
    bool sent;
    std::string reason;       // CP932; the reason starts with it ("" when sent)
    const char* session;      // when sent: smtp_sink.py's N.session
};

inline constexpr int kTlsMailShortReplyMs = 1500;
inline constexpr const char* kTlsMailUser = "alice@example.com";
inline constexpr const char* kTlsMailPassword = "s3cret-Pa55";
inline constexpr const char* kTlsMailToken = "ya29.tok-123";

// A token command: "!N" exits with N printing nothing, "-" prints nothing and succeeds, "~"
// never ends by itself, any other text is printed as the first line (a second line follows,
// which is not the token), after a line on standard error, which must not be taken for it.
inline std::string TokenCommand(const std::string& token) {
#ifdef _WIN32
    if (token == "~") {
        return "cmd.exe /c ping -n 600 127.0.0.1";
    }
    if (token[0] == '!') {
        return "cmd.exe /c exit " + token.substr(1);
    }
    return token == "-" ? "cmd.exe /c rem"
                        : "cmd.exe /c \"echo noise 1>&2& echo " + token + "& echo second\"";
#else
    if (token == "~") {
        return "echo started; sleep 600";
    }
    if (token[0] == '!') {
        return "exit " + token.substr(1);
    }
    return token == "-" ? "true" : "echo noise >&2; printf '%s\\nsecond\\n' '" + token + "'";
#endif
}

inline std::vector<TlsMailCase> TlsMailCases() {
    const std::string user = std::string("alice@example.com:") + kTlsMailPassword;
    const std::string refused = "535 5.7.8 Authentication credentials invalid";
    const char* plainSession = "tls=1\nauth=-\nuser=-\n";
    const char* bad = "wrong-Pa55";
    return {
        {"STARTTLS", {"--starttls", "@server"}, "starttls", "full", "", "", "", "", false, true,
         "", plainSession},
        {"implicit TLS", {"--tls", "@server"}, "tls", "full", "", "", "", "", false, true, "",
         plainSession},
        {"AUTH PLAIN", {"--starttls", "@server", "--auth", user}, "starttls", "full", "",
         kTlsMailUser, kTlsMailPassword, "", false, true, "",
         "tls=1\nauth=PLAIN\nuser=alice@example.com\n"},
        {"AUTH LOGIN, the only one offered",
         {"--starttls", "@server", "--auth", user, "--login-only"}, "starttls", "full", "",
         kTlsMailUser, kTlsMailPassword, "", false, true, "",
         "tls=1\nauth=LOGIN\nuser=alice@example.com\n"},
        {"AUTH PLAIN over implicit TLS", {"--tls", "@server", "--auth", user}, "tls", "full", "",
         kTlsMailUser, kTlsMailPassword, "", false, true, "",
         "tls=1\nauth=PLAIN\nuser=alice@example.com\n"},
        {"AUTH refused", {"--starttls", "@server", "--auth", user}, "starttls", "full", "",
         kTlsMailUser, bad, "", false, false, refused, ""},
        {"AUTH LOGIN refused", {"--starttls", "@server", "--auth", user, "--login-only"},
         "starttls", "full", "", kTlsMailUser, bad, "", false, false, refused, ""},
        {"no STARTTLS offered", {}, "starttls", "full", "", "", "", "", false, false,
         mailtexts::NoStartTls(), ""},
        {"a certificate for another name", {"--starttls", "@other"}, "starttls", "full", "", "",
         "", "", false, false, "TLS certificate is not for localhost", ""},
        {"an untrusted root", {"--starttls", "@untrusted"}, "starttls", "full", "", "", "", "",
         false, false, "TLS certificate not trusted", ""},
        {"an untrusted root, implicit TLS", {"--tls", "@untrusted"}, "tls", "full", "", "", "",
         "", false, false, "TLS certificate not trusted", ""},
        {"its fingerprint set", {"--starttls", "@untrusted"}, "starttls", "fingerprint",
         "@untrusted", "", "", "", false, true, "", plainSession},
        {"another fingerprint set", {"--starttls", "@server"}, "starttls", "fingerprint",
         "@untrusted", "", "", "", false, false,
         "TLS certificate SHA-256 is not the fingerprint set", ""},
        {"no fingerprint at all", {"--starttls", "@server"}, "starttls", "fingerprint", "ab:cd",
         "", "", "", false, false, mailtexts::FingerprintInvalid(), ""},
        {"not verified", {"--starttls", "@untrusted"}, "starttls", "none", "", "", "", "", false,
         true, "", plainSession},
        {"not verified, refused", {"--tls", "@other", "--auth", user}, "tls", "none", "",
         kTlsMailUser, bad, "", false, false, refused + mailtexts::NotVerified(), ""},
        {"a handshake that stalls", {"--stall-starttls"}, "starttls", "full", "", "", "", "",
         true, false, "TLS handshake timed out", ""},
        {"XOAUTH2", {"--starttls", "@server", "--auth", user, "--xoauth2", kTlsMailToken},
         "starttls", "full", "", kTlsMailUser, "", kTlsMailToken, false, true, "",
         "tls=1\nauth=XOAUTH2\nuser=alice@example.com\n"},
        {"XOAUTH2, a token refused",
         {"--starttls", "@server", "--auth", user, "--xoauth2", kTlsMailToken}, "starttls",
         "full", "", kTlsMailUser, "", "ya29.expired", false, false, refused, ""},
        {"a token command that fails",
         {"--starttls", "@server", "--auth", user, "--xoauth2", kTlsMailToken}, "starttls",
         "full", "", kTlsMailUser, "", "!3", false, false,
         mailtexts::TokenCommandFailed() + "3", ""},
        {"a token command that prints nothing",
         {"--starttls", "@server", "--auth", user, "--xoauth2", kTlsMailToken}, "starttls",
         "full", "", kTlsMailUser, "", "-", false, false, mailtexts::TokenCommandEmpty(), ""},
        {"a token command that hangs",
         {"--starttls", "@server", "--auth", user, "--xoauth2", kTlsMailToken}, "starttls",
         "full", "", kTlsMailUser, "", "~", true, false, mailtexts::TokenCommandTimedOut(), ""},
        {"a user without TLS", {"--auth", user}, "none", "full", "", kTlsMailUser,
         kTlsMailPassword, "", false, false, mailtexts::AuthNeedsTls(), ""},
    };
}

}  // namespace tolvane::test
