#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "os/CodePage.h"

namespace tolvane {
namespace {

struct SjisCase {
    const char* utf8;
    std::string cp932;
};

// Characters that matter to the program: 0x5C second bytes, half-width katakana of the menu,
// the NEC and IBM rows that only CP932 has, and the two wave dashes that both mean 0x8160.
const SjisCase kSjisCases[] = {
    {"", ""},
    {"IIS Tolvane", "IIS Tolvane"},
    {"表ソ能", "\x95\x5C\x83\x5C\x94\x5C"},
    {"ｵｰﾄ(&A)", "\xB5\xB0\xC4(&A)"},
    {"①髙", "\x87\x40\xFB\xFC"},
    {"～", "\x81\x60"},
    {"〜", "\x81\x60"},
    {"理由：", "\x97\x9D\x97\x52\x81\x46"},
    {"\r\n", "\r\n"},
};

TEST(CodePage, ConvertsUtf8ToCp932AndBack) {
    for (const auto& c : kSjisCases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(Sjis(c.utf8), c.cp932);
        std::string strict;
        ASSERT_TRUE(ConvertCharset(c.utf8, "UTF-8", "CP932", strict));
        EXPECT_EQ(strict, c.cp932);
    }
    EXPECT_EQ(Cp932ToUtf8("\x95\x5C\x83\x5C"), "表ソ");
    EXPECT_EQ(Cp932ToUtf8("\x81\x60"), "～");
}

TEST(CodePage, StrictConversionRefusesUnrepresentableText) {
    const struct {
        const char* input;
        const char* from;
        const char* to;
    } cases[] = {
        {"price €5", "UTF-8", "CP932"},      {"한국어", "UTF-8", "CP932"},
        {"ok 😀", "UTF-8", "CP932"},          {"\xFF\xFE", "UTF-8", "CP932"},  // not UTF-8 at all
        {"abc\x81", "CP932", "UTF-8"},        // a lead byte without its second byte
        {"\x80", "CP932", "UTF-8"},           // no character in CP932
        {"abc", "UTF-8", "NO-SUCH-CHARSET"},  // unknown charset
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        std::string output = "stale";
        EXPECT_FALSE(ConvertCharset(c.input, c.from, c.to, output));
    }
}

TEST(CodePage, DisplayConversionMarksBadBytesInsteadOfDroppingThem) {
    EXPECT_EQ(Cp932ToUtf8("a\x80"
                          "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(Cp932ToUtf8("\x95\x5C\x81"), "表\xEF\xBF\xBD");
    EXPECT_EQ(Cp932ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(CodePage, StatefulTargetEndsInItsInitialState) {
    // ISO-2022-JP text must switch back to ASCII at its end, or the reader's next text is garbled.
    const struct {
        const char* utf8;
        std::string jis;
    } cases[] = {
        {"表",
         "\x1B$B"
         "I="
         "\x1B(B"},
        {"a表",
         "a\x1B$B"
         "I="
         "\x1B(B"},
        {"表a表",
         "\x1B$B"
         "I="
         "\x1B(Ba\x1B$B"
         "I="
         "\x1B(B"},
        {"ascii", "ascii"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        std::string jis;
        ASSERT_TRUE(ConvertCharset(c.utf8, "UTF-8", "ISO-2022-JP", jis));
        EXPECT_EQ(jis, c.jis);
    }
    // Long enough that the output buffer fills several times.
    std::string longText(5000, 'x');
    longText += "表";
    std::string jis;
    ASSERT_TRUE(ConvertCharset(longText, "UTF-8", "ISO-2022-JP", jis));
    EXPECT_EQ(jis.size(), 5000u + 8u);
    EXPECT_TRUE(jis.ends_with("x\x1B$BI=\x1B(B"));
}

TEST(CodePage, PlainAsciiLocaleIsTreatedAsUtf8) {
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    std::setlocale(LC_CTYPE, "C");
    EXPECT_EQ(LocaleCharset(), "UTF-8");
    EXPECT_EQ(Cp932ToLocale("\x95\x5C"), "表");
    std::string cp932;
    EXPECT_TRUE(LocaleToCp932("表ソ", cp932));
    EXPECT_EQ(cp932, "\x95\x5C\x83\x5C");
    EXPECT_FALSE(LocaleToCp932("€", cp932));
    std::setlocale(LC_CTYPE, saved.c_str());
}

}  // namespace
}  // namespace tolvane
