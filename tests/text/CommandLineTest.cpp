#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/CommandLine.h"

namespace tolvane {
namespace {

using Args = std::vector<std::string>;

struct SplitCase {
    const char* name;
    std::string line;
    Args expected;
};

const SplitCase kSplitCases[] = {
    {"restart command",
     "command.com /C net stop w3svc /y",
     {"command.com", "/C", "net", "stop", "w3svc", "/y"}},
    {"blanks and tabs separate", " \t a  b\t\tc \t", {"a", "b", "c"}},
    {"empty line", "", {}},
    {"only blanks", " \t ", {}},
    {"quotes group", "p \"a b\" c", {"p", "a b", "c"}},
    {"tab kept inside quotes", "p \"a\tb\"", {"p", "a\tb"}},
    {"quotes inside a word", "p a\"b c\"d e", {"p", "ab cd", "e"}},
    {"adjacent quoted parts", "p \"a\"b\"c d\"", {"p", "abc d"}},
    {"empty quoted argument", "p \"\" x", {"p", "", "x"}},
    {"unterminated quote runs to the end", "p \"a b", {"p", "a b"}},
    {"backslashes without quote are literal", "p a\\\\b c\\", {"p", "a\\\\b", "c\\"}},
    {"one backslash escapes a quote", "p a\\\"b", {"p", "a\"b"}},
    {"two backslashes give one and a quote toggle", "p a\\\\\"b c\"", {"p", "a\\b c"}},
    {"three backslashes give one and a literal quote", "p a\\\\\\\"b", {"p", "a\\\"b"}},
    {"four backslashes before a closing quote", "p \"a\\\\\\\\\" b", {"p", "a\\\\", "b"}},
    {"doubled quote inside quotes is a quote", "p \"a \"\"b\"\" c\"", {"p", "a \"b\" c"}},
    {"doubled quote alone", "p \"\"\"\"", {"p", "\""}},
    {"program name keeps backslashes",
     "\"C:\\Program Files\\x.exe\" arg",
     {"C:\\Program Files\\x.exe", "arg"}},
    {"program name ends at its closing quote despite backslash",
     "\"C:\\dir\\\" arg",
     {"C:\\dir\\", "arg"}},
    {"quotes inside the program name", "a\"b c\"d e", {"ab cd", "e"}},
    {"unquoted program name with backslash", "dir\\prog \\\"x", {"dir\\prog", "\"x"}},
    // CP932: 表 is 95 5C, ソ is 83 5C, 能 is 94 5C. Their second byte is no backslash.
    {"quoted text ending in a 0x5C second byte",
     "CSCRIPT.EXE /s \"\x94\x5C\" /b \"\x95\x5C\"",
     {"CSCRIPT.EXE", "/s", "\x94\x5C", "/b", "\x95\x5C"}},
    {"two-byte character before an escaped quote", "p \x83\x5C\\\"a", {"p", "\x83\x5C\"a"}},
    {"two-byte character before two backslashes and a quote",
     "p \"\x83\x5C\\\\\" x",
     {"p", "\x83\x5C\\", "x"}},
    {"lone lead byte at the end", "p a\x81", {"p", "a\x81"}},
    {"lead byte before a blank", "p \x81 x", {"p", "\x81", "x"}},
};

TEST(SplitCommandLine, FollowsTheWindowsRules) {
    for (const auto& c : kSplitCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SplitCommandLine(c.line), c.expected);
    }
}

}  // namespace
}  // namespace tolvane
