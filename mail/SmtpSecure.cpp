// The dialogue's TLS and AUTH steps: STARTTLS or TLS from the start, the certificate judged as
// the settings ask, then AUTH XOAUTH2, PLAIN or LOGIN. No credential ever goes out in plain
// text, and none ever appears in LastError: every reason is a fixed text or a server's reply.
#include <algorithm>
#include <cctype>

#include "mail/Base64.h"
#include "mail/MailTexts.h"
#include "mail/SmtpClient.h"
#include "os/CommandOutput.h"
#include "settings/SmtpPassword.h"

namespace tolvane {

namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// An EHLO reply's lines after the first, as upper-case keywords and parameters ("AUTH PLAIN
// LOGIN"; the old "AUTH=LOGIN" form read as the same).
std::vector<std::string> CapabilitiesOf(const std::vector<std::string>& lines) {
    std::vector<std::string> capabilities;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].size() > 4) {
            std::string capability = Upper(lines[i].substr(4));
            if (capability.compare(0, 5, "AUTH=") == 0) {
                capability[4] = ' ';
            }
            capabilities.push_back(capability);
        }
    }
    return capabilities;
}

bool HasWord(const std::string& line, std::string_view word) {
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t end = std::min(line.find(' ', at), line.size());
        if (std::string_view(line).substr(at, end - at) == word) {
            return true;
        }
        at = end + 1;
    }
    return false;
}

}  // namespace

bool SmtpClient::PrepareSecurity(const std::string& host) {
    // Nothing about the user is sent without TLS.
    if (!security_.SmtpUser.empty() && !UsesTls(security_)) {
        LastError = mailtexts::AuthNeedsTls();
        return false;
    }
    peer_ = TlsPeer{TlsVerifyNamed(security_.SmtpVerify).value_or(TlsVerify::Full), host, ""};
    if (UsesTls(security_) && peer_.verify == TlsVerify::Fingerprint) {
        const auto fingerprint = NormalizedFingerprint(security_.SmtpFingerprint);
        if (!fingerprint) {
            LastError = mailtexts::FingerprintInvalid();
            return false;
        }
        peer_.fingerprint = *fingerprint;
    }
    return true;
}

bool SmtpClient::Handshake() {
    const TlsOpening opening = socket_.StartTls(peer_, ReplyDeadline());
    if (opening.failure != TlsFailure::None) {
        LastError = ReasonFrom(opening.Reason(peer_));
        return false;
    }
    return true;
}

bool SmtpClient::Offers(std::string_view keyword) const {
    return std::any_of(capabilities_.begin(), capabilities_.end(), [&](const std::string& line) {
        return line.compare(0, line.find(' '), keyword) == 0;
    });
}

int SmtpClient::Greet() {
    const std::string ehlo = "EHLO " + HeloName() + "\r\n";
    if (!UsesTls(security_)) {
        // A refused EHLO is no failure: HELO follows, and LastError keeps the refusal.
        return Command(ehlo, "250") != 0 || Command("HELO " + HeloName() + "\r\n", "250") != 0 ? 1
                                                                                               : 0;
    }
    // Without EHLO there is no STARTTLS and no AUTH: no HELO here.
    if (Command(ehlo, "250") == 0) {
        return 0;
    }
    capabilities_ = CapabilitiesOf(replyLines_);
    if (security_.SmtpSecurity == "starttls") {
        if (!Offers("STARTTLS")) {
            LastError = mailtexts::NoStartTls();
            return 0;
        }
        // What the server said before the session counts no more (RFC 3207, 4.2).
        if (Command("STARTTLS\r\n", "220") == 0 || !Handshake() || Command(ehlo, "250") == 0) {
            return 0;
        }
        capabilities_ = CapabilitiesOf(replyLines_);
    }
    return security_.SmtpUser.empty() ? 1 : Authenticate();
}

bool SmtpClient::Password(std::string& password) {
    if (security_.SmtpPassword) {
        password = *security_.SmtpPassword;
        return true;
    }
    const StoredPassword stored = ReadSmtpPassword();
    switch (stored.outcome) {
        case StoredPassword::Outcome::Found:
            password = stored.value;
            return true;
        case StoredPassword::Outcome::Missing:
            LastError = mailtexts::PasswordMissing();
            return false;
        case StoredPassword::Outcome::Refused:
            LastError = ReasonFrom(stored.reason);
            return false;
    }
    return false;
}

int SmtpClient::Authenticate() {
    if (!security_.SmtpTokenCommand.empty()) {
        return AuthenticateWithToken();
    }
    std::vector<std::string> mechanisms;
    for (const std::string& line : capabilities_) {
        if (line.compare(0, 5, "AUTH ") == 0) {
            mechanisms.push_back(line);
        }
    }
    const auto offered = [&](std::string_view mechanism) {
        return std::any_of(mechanisms.begin(), mechanisms.end(),
                           [&](const std::string& line) { return HasWord(line, mechanism); });
    };
    const bool plain = offered("PLAIN");
    if (!plain && !offered("LOGIN")) {
        LastError = mailtexts::NoAuthMechanism();
        return 0;
    }
    std::string password;
    if (!Password(password)) {
        return 0;
    }
    const std::string& user = security_.SmtpUser;
    if (plain) {
        return Command("AUTH PLAIN " +
                           Base64::EncodeAll(std::string(1, '\0') + user + '\0' + password) +
                           "\r\n",
                       "235");
    }
    return Command("AUTH LOGIN\r\n", "334") != 0 &&
                   Command(Base64::EncodeAll(user) + "\r\n", "334") != 0 &&
                   Command(Base64::EncodeAll(password) + "\r\n", "235") != 0
               ? 1
               : 0;
}

int SmtpClient::AuthenticateWithToken() {
    const auto now = std::chrono::steady_clock::now();
    const Deadline deadline = dialogueEnd_ - now < limits_.tokenCommandTimeout
                                  ? dialogueEnd_
                                  : now + limits_.tokenCommandTimeout;
    const CommandOutput run = RunForOutput(security_.SmtpTokenCommand, deadline, limits_.serve);
    if (run.end == CommandOutput::End::NotStarted) {
        LastError = mailtexts::TokenCommandNotStarted();
        return 0;
    }
    if (run.end == CommandOutput::End::TimedOut) {
        LastError = mailtexts::TokenCommandTimedOut();
        return 0;
    }
    if (run.exitCode != 0) {
        LastError = mailtexts::TokenCommandFailed() + std::to_string(run.exitCode);
        return 0;
    }
    std::string token = run.output.substr(0, run.output.find('\n'));
    token.erase(
        std::find_if(token.rbegin(), token.rend(), [](unsigned char c) { return !std::isspace(c); })
            .base(),
        token.end());
    if (token.empty()) {
        LastError = mailtexts::TokenCommandEmpty();
        return 0;
    }
    const std::string initial =
        "user=" + security_.SmtpUser + "\x01" + "auth=Bearer " + token + "\x01\x01";
    if (Command("AUTH XOAUTH2 " + Base64::EncodeAll(initial) + "\r\n", "235") != 0) {
        return 1;
    }
    // A refused token comes as a 334 challenge with the error; an empty line answers it and
    // the final reply is the reason.
    if (!replyLines_.empty() && replyLines_.back().compare(0, 4, "334 ") == 0) {
        return Command("\r\n", "235");
    }
    return 0;
}

}  // namespace tolvane
