#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/ServicesMap.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

using Args = std::vector<std::string>;

class ServicesMapTest : public ::testing::Test {
protected:
    bool Load(const std::string& text) {
        test::WriteFile(path_, text);
        error_.clear();
        return map_.Load(path_, error_);
    }

    test::TempDir dir_;
    std::string path_ = dir_.File("services.conf");
    ServicesMap map_;
    std::string error_;
};

TEST_F(ServicesMapTest, MapsNamesToUnitsAndExplicitCommands) {
    ASSERT_TRUE(
        Load("# web server\r\n"
             "W3SVC = nginx.service\r\n"
             "\n"
             "  msftpsvc.START =  /usr/bin/ftpctl \"start now\" -v  \n"
             "msftpsvc.stop=/usr/bin/ftpctl stop\n"
             "msftpsvc = vsftpd\n"
             "smtpsvc = postfix\n"
             "smtpsvc = exim4\n"
             "mtxstop = /bin/true --really"))
        << error_;
    const struct {
        const char* name;
        const char* action;
        std::optional<Args> command;
    } cases[] = {
        {"w3svc", "start", Args{"systemctl", "start", "nginx.service"}},
        {"W3Svc", "STOP", Args{"systemctl", "stop", "nginx.service"}},
        // Explicit commands win over the unit line, whatever their order.
        {"MSFTPSVC", "start", Args{"/usr/bin/ftpctl", "start now", "-v"}},
        {"msftpsvc", "stop", Args{"/usr/bin/ftpctl", "stop"}},
        // The later line wins.
        {"smtpsvc", "start", Args{"systemctl", "start", "exim4"}},
        {"nntpsvc", "start", std::nullopt},
        {"msdtc", "stop", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.action);
        EXPECT_EQ(map_.Command(c.name, c.action), c.command);
    }
    EXPECT_EQ(map_.MtxStop(), (Args{"/bin/true", "--really"}));
}

TEST_F(ServicesMapTest, EmptyMapHasNothing) {
    ASSERT_TRUE(Load("# nothing mapped\n\n"));
    EXPECT_EQ(map_.Command("w3svc", "start"), std::nullopt);
    EXPECT_EQ(map_.MtxStop(), std::nullopt);
}

TEST_F(ServicesMapTest, MalformedLineIsRefusedWithItsNumber) {
    const struct {
        const char* text;
        const char* where;
    } cases[] = {
        {"w3svc nginx\n", ":1:"},
        {"# fine\nw3svc = nginx\n= nginx\n", ":3:"},
        {"w3svc =\n", ":1:"},
        {"w3svc.start =   \r\n", ":1:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_FALSE(Load(c.text));
        EXPECT_NE(error_.find(path_ + c.where), std::string::npos) << error_;
        // Nothing of a refused file is used.
        EXPECT_EQ(map_.Command("w3svc", "start"), std::nullopt);
    }
    EXPECT_FALSE(map_.Load(dir_.File("missing.conf"), error_));
    EXPECT_NE(error_.find("missing.conf"), std::string::npos);
}

}  // namespace
}  // namespace tolvane
