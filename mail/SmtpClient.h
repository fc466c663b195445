#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mail/LineSocket.h"
#include "mail/MailDispatch.h"
#include "mail/MailLimits.h"
#include "os/TlsStream.h"

namespace tolvane {

// One message, one complete synchronous SMTP dialogue: plain, or over TLS (STARTTLS or from
// the start) with AUTH as `security` asks. The first failure that ends the dialogue leaves its
// one-line reason in LastError.
class SmtpClient {
public:
    explicit SmtpClient(MailLimits limits = {}, MailSecurity security = {})
        : socket_(limits), limits_(limits), security_(std::move(security)) {}
    SmtpClient(const SmtpClient&) = delete;
    SmtpClient& operator=(const SmtpClient&) = delete;
    virtual ~SmtpClient() = default;

    // Lines without their line ends; the message without the final "." line. 1 when the
    // whole dialogue succeeded. The whole dialogue is bounded as well as each step.
    int Send(const std::string& host, std::uint32_t port, const std::string& senderLine,
             const std::vector<std::string>& recipientLines, const std::string& message);

    // The same dialogue, greeting first, over a connection made elsewhere (a socket pair).
    int SendOver(Socket connected, const std::string& senderLine,
                 const std::vector<std::string>& recipientLines, const std::string& message);

    int Connect(const std::string& host, std::uint32_t port, std::string_view code);
    // The text includes its CR LF.
    int Command(std::string_view text, std::string_view code);

    // The short computer name, or "UnKnown" when the system has none that fits 15 characters.
    static std::string HeloName();
    static std::string HeloNameFor(const std::string& computerName);

    // A reply line as a one-line reason: cut at a NUL (the texts are C strings), CR and LF
    // removed, every other control byte a "?", so a server cannot drive a terminal or break
    // a line of the restart log.
    static std::string ReasonFrom(std::string_view line);

    std::string LastError;

private:
    enum class Reply { Accepted, Refused, Missing };
    Reply ReadReply(std::string_view code);
    Deadline ReplyDeadline() const;
    bool DialogueOver() const;
    // Every step after the greeting.
    int Dialogue(const std::string& senderLine, const std::vector<std::string>& recipientLines,
                 const std::string& message);

    // TLS and AUTH (SmtpSecure.cpp). What can be refused before connecting: a user without
    // TLS, a fingerprint that is none; sets the peer the handshake judges.
    bool PrepareSecurity(const std::string& host);
    bool Handshake();
    // EHLO, and over TLS, STARTTLS and EHLO again, then AUTH as asked.
    int Greet();
    bool Offers(std::string_view keyword) const;  // in the last EHLO reply
    int Authenticate();
    int AuthenticateWithToken();
    bool Password(std::string& password);

    LineSocket socket_;
    MailLimits limits_;
    MailSecurity security_;
    TlsPeer peer_;
    std::vector<std::string> replyLines_;     // the last reply's lines, without line ends
    std::vector<std::string> capabilities_;   // the last EHLO reply's later lines, upper case
    Deadline dialogueEnd_ = Deadline::max();  // set by Send
};

}  // namespace tolvane
