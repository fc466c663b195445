#include "mail/MailMessage.h"

#include <cstdio>

#include "mail/Base64.h"
#include "mail/JisEncoder.h"
#include "os/LocalTimeParts.h"

namespace tolvane {

namespace {

// The largest input of the 512-byte work area of the encoded word: 381 bytes, 508 characters.
constexpr std::size_t kEncodedWordBytes = 381;

std::string ReplaceAll(std::string text, char from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == from) {
            out += to;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

int SplitList(const std::string& text, char separator, std::vector<std::string>& list) {
    list.clear();
    const auto first = text.find_first_not_of(separator);
    if (first == std::string::npos) {
        return 0;
    }
    const auto last = text.find_last_not_of(separator);
    std::string_view rest(text.data() + first, last - first + 1);
    while (!rest.empty()) {
        const auto at = rest.find(separator);
        if (at == std::string_view::npos) {
            list.emplace_back(rest);
            break;
        }
        list.emplace_back(rest.substr(0, at));
        rest.remove_prefix(at + 1);
    }
    return static_cast<int>(list.size());
}

std::string MailMessage::EncodedSubject(std::string_view subject, std::string_view fold) {
    std::string out;
    for (const auto& piece : JisEncoder::ConvertInPieces(subject, kEncodedWordBytes)) {
        if (!out.empty()) {
            out += fold;
        }
        out += "=?ISO-2022-JP?B?" + Base64::Encode(piece) + "?=";
    }
    return out;
}

std::string MailMessage::DateText(std::time_t now) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const LocalTimeParts t = BreakDownLocalTime(now);
    const long offset = t.utcOffsetSeconds / 60;
    const long magnitude = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kDays[t.weekday % 7], t.day, kMonths[(t.month + 11) % 12], t.year, t.hour,
                  t.minute, t.second, offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return text;
}

std::string MailMessage::WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\r\n";
            ++i;
        } else if (c == '\r' || c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

MailMessage MailMessage::Compose(const std::string& From, const std::string& To,
                                 const std::string& Subject, const std::string& Body,
                                 std::time_t now) {
    MailMessage message;
    message.SenderLine = "MAIL FROM: <" + From + ">";
    SplitList(ReplaceAll("RCPT TO: <" + To + ">", ';', ">;RCPT TO: <"), ';',
              message.RecipientLines);
    message.Text = "To: <" + ReplaceAll(To, ';', ">,\r\n\t<") + ">\r\n";
    message.Text += "From: <" + From + ">\r\n";
    message.Text += "subject: " + EncodedSubject(Subject, "\r\n ") + "\r\n";
    // Without these a mail program shows the escape sequences instead of the text.
    message.Text += "Date: " + DateText(now) + "\r\n";
    message.Text += "MIME-Version: 1.0\r\n";
    message.Text += "Content-Type: text/plain; charset=ISO-2022-JP\r\n";
    message.Text += "\r\n";
    message.Text += WithCrLf(JisEncoder::Convert(JisEncoder::PrepareBodyLines(Body)));
    return message;
}

}  // namespace tolvane
