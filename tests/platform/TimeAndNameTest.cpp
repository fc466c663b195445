#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "platform/ComputerName.h"
#include "platform/LocalTime.h"

namespace tolvane {
namespace {

TEST(LocalTime, FormatsZeroPaddedLocalTime) {
    std::optional<std::string> saved;
    if (const char* tz = std::getenv("TZ")) {
        saved = tz;
    }
    const struct {
        const char* tz;
        std::time_t t;
        const char* text;
    } cases[] = {
        {"UTC0", 1084784587, "2004/05/17 09:03:07"},
        {"UTC0", 0, "1970/01/01 00:00:00"},
        {"JST-9", 1084784587, "2004/05/17 18:03:07"},
        {"JST-9", 1704034799, "2023/12/31 23:59:59"},
    };
    for (const auto& c : cases) {
        ::setenv("TZ", c.tz, 1);
        ::tzset();
        EXPECT_EQ(FormatLocalTime(c.t), c.text) << c.tz;
    }
    if (saved) {
        ::setenv("TZ", saved->c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

TEST(ComputerName, IsTheHostNameWithoutDomain) {
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    const std::string name = GetComputerName();
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(name.find('.'), std::string::npos);
    EXPECT_EQ(std::string(host).rfind(name, 0), 0u);
}

}  // namespace
}  // namespace tolvane
