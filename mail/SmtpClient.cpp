#include "mail/SmtpClient.h"

#include "mail/MailTexts.h"
#include "os/ComputerName.h"
#include "text/TextEscape.h"

namespace tolvane {

std::string SmtpClient::ReasonFrom(std::string_view line) {
    line = line.substr(0, line.find('\0'));
    std::string out;
    for (char c : line) {
        if (c != '\r' && c != '\n') {
            out += c;
        }
    }
    return ControlsReplaced(out);
}

bool SmtpClient::DialogueOver() const {
    return std::chrono::steady_clock::now() >= dialogueEnd_;
}

std::string SmtpClient::HeloNameFor(const std::string& computerName) {
    // The name is read into 16 bytes: 15 characters and the terminator.
    if (computerName.empty() || computerName.size() > 15) {
        return "UnKnown";
    }
    return computerName;
}

std::string SmtpClient::HeloName() {
    return HeloNameFor(GetShortComputerName());
}

// A reply's final line has a blank after its code (RFC 5321, 4.2.1); every other line,
// however short, continues it. The whole reply shares one deadline.
Deadline SmtpClient::ReplyDeadline() const {
    const auto now = std::chrono::steady_clock::now();
    return dialogueEnd_ - now < limits_.replyTimeout ? dialogueEnd_ : now + limits_.replyTimeout;
}

SmtpClient::Reply SmtpClient::ReadReply(std::string_view code) {
    const Deadline deadline = ReplyDeadline();
    std::string line;
    replyLines_.clear();
    for (std::size_t lines = 0; lines < limits_.maxReplyLines; ++lines) {
        if (socket_.ReadLine(line, deadline) == 0) {
            break;
        }
        replyLines_.push_back(line.substr(0, line.find_first_of("\r\n")));
        if (line.size() >= 4 && line[3] == ' ') {
            if (line.compare(0, 3, code) == 0) {
                return Reply::Accepted;
            }
            LastError = ReasonFrom(line);
            return Reply::Refused;
        }
    }
    LastError = mailtexts::NoReply();
    return Reply::Missing;
}

int SmtpClient::Connect(const std::string& host, std::uint32_t port, std::string_view code) {
    LastError.clear();
    if (socket_.Connect(host, port, dialogueEnd_) == 0) {
        LastError = DialogueOver() ? mailtexts::NoReply() : mailtexts::CannotConnect();
        return 0;
    }
    // Implicit TLS: the greeting comes through the session.
    if (security_.SmtpSecurity == "tls" && !Handshake()) {
        return 0;
    }
    return ReadReply(code) == Reply::Accepted ? 1 : 0;
}

int SmtpClient::Command(std::string_view text, std::string_view code) {
    if (socket_.SendText(text, dialogueEnd_) == 0) {
        LastError = DialogueOver() ? mailtexts::NoReply() : mailtexts::CannotSend();
        return 0;
    }
    return ReadReply(code) == Reply::Accepted ? 1 : 0;
}

int SmtpClient::Send(const std::string& host, std::uint32_t port, const std::string& senderLine,
                     const std::vector<std::string>& recipientLines, const std::string& message) {
    dialogueEnd_ = std::chrono::steady_clock::now() + limits_.dialogueTimeout;
    if (!PrepareSecurity(host) || Connect(host, port, "220") == 0) {
        return 0;
    }
    return Dialogue(senderLine, recipientLines, message);
}

int SmtpClient::SendOver(Socket connected, const std::string& senderLine,
                         const std::vector<std::string>& recipientLines,
                         const std::string& message) {
    dialogueEnd_ = std::chrono::steady_clock::now() + limits_.dialogueTimeout;
    LastError.clear();
    if (!PrepareSecurity("localhost")) {
        return 0;
    }
    socket_.Adopt(std::move(connected));
    if ((security_.SmtpSecurity == "tls" && !Handshake()) || ReadReply("220") != Reply::Accepted) {
        return 0;
    }
    return Dialogue(senderLine, recipientLines, message);
}

int SmtpClient::Dialogue(const std::string& senderLine,
                         const std::vector<std::string>& recipientLines,
                         const std::string& message) {
    if (Greet() == 0) {
        return 0;
    }
    if (Command("RSET\r\n", "250") == 0) {
        return 0;
    }
    if (Command(senderLine + "\r\n", "250") == 0) {
        return 0;
    }
    for (const auto& recipient : recipientLines) {
        if (Command(recipient + "\r\n", "250") == 0) {
            return 0;
        }
    }
    if (Command("DATA\r\n", "354") == 0) {
        return 0;
    }
    if (Command(message + "\r\n.\r\n", "250") == 0) {
        return 0;
    }
    return Command("QUIT\r\n", "221");
}

}  // namespace tolvane
