#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "mail/Base64.h"
#include "mail/JisEncoder.h"
#include "mail/MailMessage.h"
#include "tests/mail/MailTestSupport.h"

namespace tolvane {
namespace {

using test::Cp932;

std::vector<std::string> HeaderLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        const auto end = text.find("\r\n", start);
        if (end == std::string::npos || end == start) {
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
}

std::string BodyOf(const std::string& text) {
    return text.substr(text.find("\r\n\r\n") + 4);
}

TEST(SplitListTest, SplitsAfterTrimmingSeparators) {
    struct Case {
        std::string text;
        std::vector<std::string> items;
    };
    const Case cases[] = {
        {"", {}},
        {";;;", {}},
        {"abc", {"abc"}},
        {"a;b", {"a", "b"}},
        {";;a;;b;;", {"a", "", "b"}},
        {" a ; b ", {" a ", " b "}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> list{"stale"};
        EXPECT_EQ(SplitList(c.text, ';', list), static_cast<int>(c.items.size())) << c.text;
        EXPECT_EQ(list, c.items) << c.text;
    }
}

TEST(MailMessageTest, ComposesEnvelopeAndFoldedToHeader) {
    struct Case {
        std::string to;
        std::vector<std::string> recipientLines;
        std::vector<std::string> toHeader;
    };
    const Case cases[] = {
        {"a@x", {"RCPT TO: <a@x>"}, {"To: <a@x>"}},
        {"a@x;b@y", {"RCPT TO: <a@x>", "RCPT TO: <b@y>"}, {"To: <a@x>,", "\t<b@y>"}},
        {"a@x; b@y", {"RCPT TO: <a@x>", "RCPT TO: < b@y>"}, {"To: <a@x>,", "\t< b@y>"}},
        {"a@x;", {"RCPT TO: <a@x>", "RCPT TO: <>"}, {"To: <a@x>,", "\t<>"}},
        {"", {"RCPT TO: <>"}, {"To: <>"}},
    };
    for (const auto& c : cases) {
        const MailMessage message = MailMessage::Compose("me@x", c.to, "", "", 0);
        EXPECT_EQ(message.SenderLine, "MAIL FROM: <me@x>");
        EXPECT_EQ(message.RecipientLines, c.recipientLines) << c.to;
        const auto lines = HeaderLines(message.Text);
        ASSERT_GE(lines.size(), c.toHeader.size() + 1);
        EXPECT_EQ(std::vector<std::string>(lines.begin(),
                                           lines.begin() + static_cast<long>(c.toHeader.size())),
                  c.toHeader)
            << c.to;
        EXPECT_EQ(lines[c.toHeader.size()], "From: <me@x>");
    }
}

TEST(MailMessageTest, WritesSubjectDateAndMimeHeadersInOrder) {
    ::setenv("TZ", "JST-9", 1);
    tzset();
    const std::string subject = Cp932("IIS 再起動のお知らせ");
    const MailMessage message =
        MailMessage::Compose("me@x", "you@y", subject, Cp932("本文"), 86400 * 3 + 3723);
    const std::vector<std::string> expected{
        "To: <you@y>",
        "From: <me@x>",
        "subject: =?ISO-2022-JP?B?" + Base64::Encode(JisEncoder::Convert(subject)) + "?=",
        "Date: Sun, 04 Jan 1970 10:02:03 +0900",
        "MIME-Version: 1.0",
        "Content-Type: text/plain; charset=ISO-2022-JP",
    };
    EXPECT_EQ(HeaderLines(message.Text), expected);
    EXPECT_EQ(test::DecodeSubject(expected[2]), "IIS 再起動のお知らせ");
    EXPECT_EQ(BodyOf(message.Text), JisEncoder::Convert(Cp932("本文")));

    const MailMessage empty = MailMessage::Compose("me@x", "you@y", "", "", 0);
    EXPECT_NE(empty.Text.find("\r\nsubject: =?ISO-2022-JP?B?"
                              "?=\r\n"),
              std::string::npos);

    ::setenv("TZ", "EST5", 1);
    tzset();
    EXPECT_EQ(MailMessage::DateText(0), "Wed, 31 Dec 1969 19:00:00 -0500");
    ::setenv("TZ", "IST-5:30", 1);
    tzset();
    EXPECT_EQ(MailMessage::DateText(0), "Thu, 01 Jan 1970 05:30:00 +0530");
    ::unsetenv("TZ");
    tzset();
}

// What fits the 381 bytes stays one encoded word; a longer subject becomes several words on
// folded lines, each complete ISO-2022-JP ending in ASCII.
TEST(MailMessageTest, FoldsLongSubjectsIntoSeveralEncodedWords) {
    for (int count : {187, 188, 400, 2000}) {
        std::string subject;
        for (int i = 0; i < count; ++i) {
            subject += Cp932(i % 10 == 9 ? "x" : "監");
        }
        const MailMessage message = MailMessage::Compose("me@x", "you@y", subject, "", 0);
        std::vector<std::string> subjectLines;
        bool inSubject = false;
        for (const auto& line : HeaderLines(message.Text)) {
            EXPECT_LE(line.size(), 998u);
            if (line.rfind("subject: ", 0) == 0) {
                inSubject = true;
            } else if (line[0] != ' ') {
                inSubject = false;
            }
            if (inSubject) {
                subjectLines.push_back(line);
            }
        }
        const std::size_t words = subjectLines.size();
        EXPECT_EQ(words == 1, JisEncoder::Convert(subject).size() <= 381) << count;
        std::string decoded;
        for (const auto& line : subjectLines) {
            const auto open = line.find("=?ISO-2022-JP?B?");
            ASSERT_NE(open, std::string::npos);
            EXPECT_EQ(line.substr(line.size() - 2), "?=");
            const std::string jis =
                test::Base64Decode(line.substr(open + 16, line.size() - open - 18));
            EXPECT_LE(jis.size(), 381u);
            EXPECT_NE(test::JisToUtf8(jis), "<invalid>");
            decoded += test::JisToUtf8(jis);
        }
        EXPECT_EQ(decoded, test::Utf8(subject)) << count;
    }
}

// The bytes that go on the wire after DATA: no CR or LF outside CR LF pairs, no line that is
// a lone "." (which would end the data early), every leading dot doubled, no line over the
// 998 bytes of RFC 5322, whatever bytes the stored texts hold.
void ExpectSafeData(const std::string& text, const std::string& label) {
    const std::string data = text + "\r\n.\r\n";
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] == '\r') {
            ASSERT_TRUE(i + 1 < data.size() && data[i + 1] == '\n') << label << " bare CR at " << i;
        }
        if (data[i] == '\n') {
            ASSERT_TRUE(i > 0 && data[i - 1] == '\r') << label << " bare LF at " << i;
        }
    }
    const std::string body = BodyOf(text);
    std::size_t start = 0;
    while (start <= body.size()) {
        auto end = body.find("\r\n", start);
        if (end == std::string::npos) {
            end = body.size();
        }
        const std::string line = body.substr(start, end - start);
        ASSERT_LE(line.size(), 998u) << label;
        if (!line.empty() && line[0] == '.') {
            ASSERT_TRUE(line.size() >= 2 && line[1] == '.')
                << label << " undoubled dot in line " << line;
        }
        start = end + 2;
    }
    ASSERT_EQ(data.find("\r\n.\r\n"), data.size() - 5) << label;
}

TEST(MailMessageTest, HostileBodiesCannotBreakTheData) {
    const std::string a129(129, 'a');
    const std::vector<std::string> hostile{
        "\x82\x29.\r\nRSET\r\n",   // once gave a bare LF, then "." CR LF
        "\x82\n.\r\nQUIT\r\n",     // lead byte before LF
        "line\n.\nline",           // lone LFs around a dot
        "line\r.\rline",           // lone CRs around a dot
        ".",                       // the body is a single dot
        "\r\n.",                   // ends in a dot line
        "\n\r.\r\r\n.\n",          // mixed line ends
        a129 + "\r.\r\n",          // CR as the 130th byte
        a129 + "\x82\n.\r\n",      // lead byte as the 130th byte before LF
        std::string(300, '\x82'),  // lead bytes alone
        std::string(500, '\xFD') + "\n.",
    };
    for (const auto& body : hostile) {
        ExpectSafeData(MailMessage::Compose("me@x", "you@y", body, body, 0).Text, "hostile");
    }
    std::mt19937 random(20240607);
    const std::string alphabet =
        std::string("\r\n.\x82\x88\xE0\xFD\xFF\x29\x7F\xA0\xB1\x40 a\x1B\x9F", 18);
    for (int round = 0; round < 3000; ++round) {
        std::string body;
        const int length = static_cast<int>(random() % 400);
        for (int i = 0; i < length; ++i) {
            body += random() % 4 == 0 ? static_cast<char>(random() % 256)
                                      : alphabet[random() % alphabet.size()];
        }
        ExpectSafeData(MailMessage::Compose("me@x", "you@y", body, body, 0).Text,
                       "round " + std::to_string(round));
        if (HasFatalFailure()) {
            return;
        }
    }
}

TEST(MailMessageTest, ValidBodyKeepsTheBytesOfItsPreparation) {
    const std::string body =
        Cp932("一行目\r\n.点\r\n") + std::string(200, 'z') + "\r\n" + Cp932("最後");
    const MailMessage message = MailMessage::Compose("me@x", "you@y", "", body, 0);
    EXPECT_EQ(BodyOf(message.Text), JisEncoder::Convert(JisEncoder::PrepareBodyLines(body)));
}

}  // namespace
}  // namespace tolvane
