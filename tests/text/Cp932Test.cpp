#include <gtest/gtest.h>

#include <string>

#include "text/Cp932.h"

namespace tolvane {
namespace {

// ア is 83 41 and ソ is 83 5C: second bytes that read as "A" and "\" on their own.
const std::string kA = "\x83\x41";
const std::string kSo = "\x83\x5C";

TEST(Cp932, CharactersAreTakenWholeWhereverTheirSecondByteLooksLikeAscii) {
    EXPECT_EQ(Cp932CharLength(kA + "b", 0), 2u);
    EXPECT_EQ(Cp932CharLength(kA + "b", 2), 1u);
    EXPECT_EQ(Cp932CharLength("\x83", 0), 1u) << "a lead byte at the end stands alone";
    EXPECT_EQ(Cp932CharLength("\xB1", 0), 1u) << "half-width katakana are one byte";

    const struct {
        std::string text;
        std::size_t max;
        std::string expected;
    } cuts[] = {
        {"abc", 2, "ab"},        {"a" + kA, 2, "a"},  // the character would end past the limit
        {"a" + kA, 3, "a" + kA}, {kSo + kSo, 3, kSo}, {"", 5, ""},
    };
    for (const auto& c : cuts) {
        EXPECT_EQ(CutCp932(c.text, c.max), c.expected) << c.text;
    }
}

TEST(Cp932, TrimmingTakesOnlyTheBlanksAsked) {
    EXPECT_EQ(TrimBlanks("\r\n\v\f x y \t"), "x y");
    EXPECT_EQ(TrimBlanks(" \t "), "");
    EXPECT_EQ(TrimBlanks("\r x \n", " \t"), "\r x \n");
    // A full-width blank (81 40) is a character, not a blank.
    EXPECT_EQ(TrimBlanks(" \x81\x40 "), "\x81\x40");
}

TEST(Cp932, AsciiCaseLeavesSecondBytesAlone) {
    EXPECT_EQ(Cp932AsciiLower("W3SVC" + kA + "Z"), "w3svc" + kA + "z");
    EXPECT_EQ(AsciiLower("W3SVC" + kA + "Z"), "w3svc\x83\x61z") << "byte by byte";
    EXPECT_TRUE(SameIgnoringAsciiCase("Zr.ClassDlg.1", "zr.classdlg.1"));
    EXPECT_TRUE(SameIgnoringAsciiCase(kA + "X", kA + "x"));
    EXPECT_FALSE(SameIgnoringAsciiCase(kA, "\x83\x61")) << "ア is not ヂ (83 61)";
    EXPECT_FALSE(SameIgnoringAsciiCase("ab", "abc"));
}

}  // namespace
}  // namespace tolvane
