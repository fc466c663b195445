// The rules an HTTP check's path and accepted statuses are entered under.
#include <gtest/gtest.h>

#include "settings/CheckRules.h"

namespace tolvane {
namespace {

TEST(CheckRulesTest, StatusListsAreReadOrRefusedWhole) {
    struct Case {
        const char* text;
        bool accepted;
        std::vector<std::uint32_t> in;
        std::vector<std::uint32_t> out;
    };
    const Case cases[] = {
        {"200-399", true, {200, 301, 399}, {199, 400, 503}},
        {"200,301-302", true, {200, 301, 302}, {201, 303}},
        {" 200 , 204 ", true, {200, 204}, {203}},
        {"503", true, {503}, {200}},
        {"", false, {}, {}},
        {"200,", false, {}, {}},
        {",200", false, {}, {}},
        {"399-200", false, {}, {}},
        {"99", false, {}, {}},
        {"600", false, {}, {}},
        {"2000", false, {}, {}},
        {"200-", false, {}, {}},
        {"+200", false, {}, {}},
        {"200-300-400", false, {}, {}},
        {"abc", false, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto list = ParseStatusList(c.text);
        ASSERT_EQ(list.has_value(), c.accepted);
        for (const auto status : c.in) {
            EXPECT_TRUE(StatusAccepted(*list, status)) << status;
        }
        for (const auto status : c.out) {
            EXPECT_FALSE(StatusAccepted(*list, status)) << status;
        }
    }
}

TEST(CheckRulesTest, PathsGoOnTheRequestLineAsTheyStand) {
    EXPECT_TRUE(IsCheckPath("/"));
    EXPECT_TRUE(IsCheckPath("/health?full=1"));
    EXPECT_TRUE(IsCheckPath("/caf\xC3\xA9"));
    for (const char* bad : {"", "health", "/a b", "/a\tb", "/a\r\nHost: x", "/\x7F"}) {
        EXPECT_FALSE(IsCheckPath(bad)) << bad;
    }
}

}  // namespace
}  // namespace tolvane
