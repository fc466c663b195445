// The notification mail's envelope and message from any sender, recipients, subject and body:
// the input holds the four, separated by zero bytes.

#include <array>

#include "fuzz/FuzzSupport.h"
#include "mail/MailMessage.h"
#include "mail/MailTexts.h"
#include "mail/SendNotificationMail.h"

namespace tolvane::fuzz {
namespace {

constexpr std::size_t kLineLimit = 998;  // RFC 5321, 4.5.3.1.6, without CR LF
// The header fields, in their order; a folded field continues on lines that start with a blank.
constexpr std::array<std::string_view, 6> kHeader = {"To",   "From",         "subject",
                                                     "Date", "MIME-Version", "Content-Type"};

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

void CheckEnvelopeLine(std::string_view line, std::string_view command) {
    Require(!HasLineBreak(line) && line.find('\0') == std::string_view::npos,
            "envelope lines free of CR, LF and zero bytes");
    Require(line.substr(0, command.size()) == command && !line.empty() && line.back() == '>',
            "an envelope line is one command with its address in brackets");
}

void CheckMessage(const MailMessage& message) {
    CheckEnvelopeLine(message.SenderLine, "MAIL FROM: <");
    Require(!message.RecipientLines.empty(), "at least one recipient line");
    for (const auto& line : message.RecipientLines) {
        CheckEnvelopeLine(line, "RCPT TO: <");
    }

    const std::string data = message.Text + "\r\n.\r\n";
    Require(data.find("\r\n.\r\n") == message.Text.size() && data.substr(0, 3) != ".\r\n",
            "no early end of DATA");
    Require(message.Text.find('\0') == std::string::npos, "no zero byte in the data");
    std::vector<std::string_view> lines;
    Require(SplitCrLfLines(message.Text, lines), "no bare CR or LF");

    std::size_t line = 0;
    std::size_t field = 0;
    for (; line < lines.size() && !lines[line].empty(); ++line) {
        const std::string_view text = lines[line];
        if (text[0] == ' ' || text[0] == '\t') {
            Require(field > 0, "a continuation line follows a field");
            continue;
        }
        Require(field < kHeader.size() && text.substr(0, text.find(':')) == kHeader[field] &&
                    text.find(':') != std::string_view::npos,
                "the header fields fixed in number and order");
        if (kHeader[field] == "subject") {
            Require(text.size() <= kLineLimit, "no subject line over 998 bytes");
        }
        ++field;
    }
    Require(field == kHeader.size() && line < lines.size(), "every field, then the empty line");
    for (++line; line < lines.size(); ++line) {
        const std::string_view text = lines[line];
        Require(text.size() <= kLineLimit, "no body line over 998 bytes");
        Require(text.empty() || text[0] != '.' || text.substr(0, 2) == "..",
                "a body line that starts with a dot has it doubled");
    }
}

}  // namespace
}  // namespace tolvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tolvane;
    using namespace tolvane::fuzz;
    auto fields = Fields(Bytes(data, size), '\0');
    fields.resize(4);
    std::string body(Bytes(data, size));
    // The body is the rest, zero bytes included: the composition itself stops at the first.
    for (std::size_t i = 0; i < 3; ++i) {
        body.erase(0, std::min(body.size(), fields[i].size() + 1));
    }
    const std::string& from = fields[0];
    const std::string& to = fields[1];
    const std::string& subject = fields[2];
    if (HasLineBreak(from) || HasLineBreak(to)) {
        // Refused before any connection; the lookup finds nothing should it ever be asked.
        MailLimits limits;
        limits.resolve = [](const std::string&) -> std::optional<IPv4Address> {
            return std::nullopt;
        };
        std::string reason;
        Require(
            SendNotificationMailUsing(limits, from, to, subject, body, "mail", 25, {}, reason) == 0 &&
                reason == mailtexts::LineBreakInAddress(),
            "an address with a line break is refused");
        return 0;
    }
    CheckMessage(MailMessage::Compose(from, to, subject, body, 0));
    return 0;
}
