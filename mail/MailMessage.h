#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// What one SMTP delivery hands to SmtpClient: the envelope's command lines and the message.
struct MailMessage {
    std::string SenderLine;                   // "MAIL FROM: <sender>", no line end
    std::vector<std::string> RecipientLines;  // "RCPT TO: <address>" each, in written order
    std::string Text;                         // header, empty line, body; no final "." line

    // Addresses as typed (CP932), subject and body converted to ISO-2022-JP. The body's line
    // ends all become CR LF, as RFC 5321 (2.3.8) requires on the wire.
    static MailMessage Compose(const std::string& From, const std::string& To,
                               const std::string& Subject, const std::string& Body,
                               std::time_t now);

    // "=?ISO-2022-JP?B?...?=": one encoded word while the converted subject fits 381 bytes,
    // otherwise several, joined by the fold (a line end and a blank).
    static std::string EncodedSubject(std::string_view subject, std::string_view fold);

    // The local time as RFC 5322 (3.3) writes it: "Tue, 01 Jul 2025 09:05:00 +0900".
    static std::string DateText(std::time_t now);

    // Every CR and LF that is not part of a CR LF pair becomes CR LF.
    static std::string WithCrLf(std::string_view text);
};

// Splits at each separator after trimming separators from both ends; adjacent separators
// give an empty item. Returns the number of items.
int SplitList(const std::string& text, char separator, std::vector<std::string>& list);

}  // namespace tolvane
