#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/Base64.h"
#include "mail/JisEncoder.h"
#include "os/CodePage.h"
#include "tests/mail/MailTestSupport.h"

namespace tolvane {
namespace {

using test::Cp932;

const std::string kToJis = "\x1B$B";
const std::string kToAscii = "\x1B(B";

struct Case {
    const char* name;
    std::string input;
    std::string expected;
};

void CheckTable(const std::vector<Case>& cases, std::string (*operation)(std::string_view)) {
    for (const auto& c : cases) {
        EXPECT_EQ(operation(c.input), c.expected) << c.name;
    }
}

TEST(Base64Test, EncodesStandardVectors) {
    std::string bytes381;
    for (int i = 0; i < 381; ++i) {
        bytes381 += static_cast<char>(1 + i % 255);
    }
    CheckTable(
        {
            {"empty", "", ""},
            {"one byte pads twice", "a", "YQ=="},
            {"two bytes pad once", "ab", "YWI="},
            {"three bytes", "abc", "YWJj"},
            {"RFC 4648 foobar", "foobar", "Zm9vYmFy"},
            {"eight-bit bytes", "\xFF\xFE\xFD\xB1", "//79sQ=="},
            {"a zero byte ends the input", std::string("ab\0cd", 5), "YWI="},
        },
        Base64::Encode);
    const std::string long381 = Base64::Encode(bytes381);
    EXPECT_EQ(long381.size(), 508u);
    EXPECT_EQ(long381.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(test::Base64Decode(long381), bytes381);
    // Longer input simply grows the result.
    const std::string twice = Base64::Encode(bytes381 + bytes381);
    EXPECT_EQ(twice.size(), 1016u);
    EXPECT_EQ(test::Base64Decode(twice), bytes381 + bytes381);
}

TEST(JisEncoderTest, ConvertsRunsOfTwoByteCharacters) {
    const std::string kanji = Cp932("漢");
    ASSERT_EQ(kanji, "\x8A\xBF");
    CheckTable(
        {
            {"empty", "", ""},
            {"ASCII passes unchanged", "Hello, world.\r\n", "Hello, world.\r\n"},
            {"あa",
             "\x82\xA0"
             "a",
             kToJis + "\x24\x22" + kToAscii + "a"},
            {"漢 alone ends in ASCII", kanji, kToJis + "\x34\x41" + kToAscii},
            {"two runs around a blank", kanji + " " + kanji,
             kToJis + "\x34\x41" + kToAscii + " " + kToJis + "\x34\x41" + kToAscii},
            {"one run of several", Cp932("再起動"), kToJis + "\x3A\x46\x35\x2F\x46\x30" + kToAscii},
            {"half-width katakana stays eight-bit",
             "\xB1"
             "a\xDF",
             "\xB1"
             "a\xDF"},
            {"line break after a run", kanji + "\r\n", kToJis + "\x34\x41" + kToAscii + "\r\n"},
            {"second byte 0x9F and above", "\x88\x9F\xE0\x40",
             kToJis + "\x30\x21\x5F\x21" + kToAscii},
            {"a zero byte ends the text", std::string("a\0\x82\xA0", 4), "a"},
        },
        JisEncoder::Convert);
}

// A lead byte without a proper second byte becomes the geta mark, and the byte after it
// stands on its own, so no control byte can come out of a pair.
TEST(JisEncoderTest, LeadByteWithoutSecondByteBecomesGeta) {
    const std::string geta = "\x22\x2E";
    CheckTable(
        {
            {"lead byte at the end", "a\x82", "a" + kToJis + geta + kToAscii},
            {"lead byte before LF", "\x82\n.\r\n", kToJis + geta + kToAscii + "\n.\r\n"},
            {"0x82 0x29 would give a bare LF", "\x82\x29", kToJis + geta + kToAscii + "\x29"},
            {"lead byte before CR", "\x9F\r", kToJis + geta + kToAscii + "\r"},
            {"lead byte before 0x7F", "\xE0\x7F", kToJis + geta + kToAscii + "\x7F"},
            {"0xFD is no second byte but leads the next pair", "\x82\xFD\x41",
             kToJis + geta + "\x99\x22" + kToAscii},
            {"a valid pair still follows the arithmetic", "\xF0\x40",
             kToJis + "\x7F\x21" + kToAscii},
        },
        JisEncoder::Convert);
}

// Every character of JIS X 0208 rows 1 to 84 that CP932 holds at the same place converts as
// glibc's converter does.
TEST(JisEncoderTest, MatchesIconvForEveryJisX0208Character) {
    int compared = 0;
    for (int row = 1; row <= 84; ++row) {
        for (int cell = 1; cell <= 94; ++cell) {
            const std::string jis =
                kToJis + static_cast<char>(0x20 + row) + static_cast<char>(0x20 + cell) + kToAscii;
            std::string unicode;
            if (!ConvertCharset(jis, "ISO-2022-JP", "UTF-8", unicode)) {
                continue;  // no JIS X 0208 character there
            }
            // The Shift_JIS code of the place, by the inverse mapping.
            const int j1 = 0x20 + row;
            const int j2 = 0x20 + cell;
            const int s1 = (j1 + 1) / 2 + (j1 <= 0x5E ? 0x70 : 0xB0);
            const int s2 = j2 + (j1 % 2 == 1 ? (j2 <= 0x5F ? 0x1F : 0x20) : 0x7E);
            const std::string sjis{static_cast<char>(s1), static_cast<char>(s2)};
            std::string viaIconv;
            if (!ConvertCharset(sjis, "CP932", "ISO-2022-JP", viaIconv)) {
                continue;  // CP932 maps this character elsewhere
            }
            ++compared;
            EXPECT_EQ(JisEncoder::Convert(sjis), viaIconv) << "row " << row << " cell " << cell;
        }
    }
    // JIS X 0208 has 6879 characters; CP932 maps all but a few of them there.
    EXPECT_GT(compared, 6800);
}

TEST(JisEncoderTest, PreparesBodyLines) {
    const std::string a129(129, 'a');
    const std::string a130(130, 'a');
    const std::string kana = "\x82\xA0";  // あ
    const std::string kanji9F = "\x88\x9F";
    std::string hundredWide;
    for (int i = 0; i < 100; ++i) {
        hundredWide += i % 2 == 0 ? kana : kanji9F;
    }
    CheckTable(
        {
            {"empty", "", ""},
            {"200 ASCII letters", std::string(200, 'x'),
             std::string(130, 'x') + "\r\n" + std::string(70, 'x')},
            {"100 two-byte characters break after 65", hundredWide,
             hundredWide.substr(0, 130) + "\r\n" + hundredWide.substr(130)},
            {"leading dot doubled", ".abc", "..abc"},
            {"dots after CR, LF and CR LF", "a\r.b\n.c\r\n.d", "a\r..b\n..c\r\n..d"},
            {"dot after an inserted break", a130 + ".xyz", a130 + "\r\n..xyz"},
            {"dot as the 130th byte is copied once", a129 + ".b", a129 + ".\r\nb"},
            {"two-byte character at the 130th byte", a129 + kana + "b", a129 + kana + "\r\nb"},
            {"second byte at the 130th byte", std::string(128, 'a') + kana + "b",
             std::string(128, 'a') + kana + "\r\nb"},
            {"CR LF right at the break adds nothing", a129 + "\r\nb", a129 + "\r\nb"},
            {"exactly 130 bytes get a break", a130, a130 + "\r\n"},
            {"a lone LF stays", "a\nb", "a\nb"},
            {"a lead byte without second byte is one byte",
             a129 + "\x82"
                    ".",
             a129 + "\x82\r\n.."},
        },
        JisEncoder::PrepareBodyLines);
}

TEST(JisEncoderTest, ConvertsInPiecesThatEachEndInAscii) {
    std::string subject;
    for (int i = 0; i < 300; ++i) {
        subject += i % 7 == 6 ? std::string("-") : Cp932("漢");
    }
    const auto pieces = JisEncoder::ConvertInPieces(subject, 381);
    ASSERT_GT(pieces.size(), 1u);
    std::string joined;
    for (const auto& piece : pieces) {
        EXPECT_LE(piece.size(), 381u);
        EXPECT_NE(test::JisToUtf8(piece), "<invalid>");
        if (piece.find('\x1B') != std::string::npos) {
            EXPECT_EQ(piece.rfind('\x1B'), piece.rfind(kToAscii));
        }
        joined += test::JisToUtf8(piece);
    }
    EXPECT_EQ(joined, test::Utf8(subject));

    // What fits stays whole; an empty text is one empty piece.
    std::string kanji187;
    for (int i = 0; i < 187; ++i) {
        kanji187 += Cp932("漢");
    }
    EXPECT_EQ(JisEncoder::ConvertInPieces(kanji187, 381),
              std::vector<std::string>{JisEncoder::Convert(kanji187)});
    EXPECT_EQ(JisEncoder::ConvertInPieces(kanji187 + Cp932("漢"), 381).size(), 2u);
    EXPECT_EQ(JisEncoder::ConvertInPieces("", 381), std::vector<std::string>{""});
}

}  // namespace
}  // namespace tolvane
