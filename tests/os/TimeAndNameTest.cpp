#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "os/ComputerName.h"
#include "os/LocalTime.h"

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

// The probe must use the name the system resolves for itself: a host name set as a full name
// may resolve only in full. The SMTP greeting keeps the NetBIOS-style short name.
TEST(ComputerName, TheProbeTakesTheHostNameWholeTheGreetingItsShortForm) {
    static std::string host;
    const HostNameReader read = [] { return host; };
    const struct {
        const char* host;
        const char* probed;
        const char* greeted;
    } cases[] = {
        {"web1", "web1", "web1"},
        {"web1.example.test", "web1.example.test", "web1"},
        {"a.b.c", "a.b.c", "a"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        host = c.host;
        EXPECT_EQ(GetComputerName(read), c.probed);
        EXPECT_EQ(GetShortComputerName(read), c.greeted);
    }
    char system[256] = {};
    ASSERT_EQ(::gethostname(system, sizeof system - 1), 0);
    EXPECT_EQ(GetComputerName(), system);
}

}  // namespace
}  // namespace tolvane
