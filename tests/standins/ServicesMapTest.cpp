#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "monitor/MonitorCycle.h"
#include "standins/ServicesMap.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

class ServicesMapTest : public ::testing::Test {
protected:
    bool Load(const std::string& text) {
        test::WriteFile(path_, text);
        error_.clear();
        return map_.Load(path_, error_);
    }

    // What the loaded map runs for "net ACTION NAME"; nothing when the name is not mapped.
    struct CommandCase {
        const char* name;
        const char* action;
        std::optional<Args> command;
    };
    template <std::size_t N>
    void ExpectCommands(const CommandCase (&cases)[N]) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " " + c.action);
            EXPECT_EQ(map_.Command(c.name, c.action), c.command);
        }
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
    const CommandCase cases[] = {
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
    ExpectCommands(cases);
    EXPECT_EQ(map_.MtxStop(), (Args{"/bin/true", "--really"}));
}

TEST_F(ServicesMapTest, EmptyMapHasNothing) {
    ASSERT_TRUE(Load("# nothing mapped\n\n"));
    EXPECT_EQ(map_.Command("w3svc", "start"), std::nullopt);
    EXPECT_EQ(map_.MtxStop(), std::nullopt);
}

// An empty value is this machine's "nothing to do" for the name, the action or mtxstop: an
// empty command line, unlike a name the map leaves out.
TEST_F(ServicesMapTest, EmptyValueMapsToNothingToDo) {
    ASSERT_TRUE(
        Load("msftpsvc =\n"
             "iisadmin.stop =   \r\n"
             "iisadmin = php-fpm\n"
             "smtpsvc.start=\n"
             "nntpsvc = inn2\n"
             "nntpsvc =\n"
             "msdtc =\n"
             "msdtc.start = /bin/true\n"
             "mtxstop ="))
        << error_;
    const CommandCase cases[] = {
        {"msftpsvc", "start", Args{}},
        {"MsFtpSvc", "stop", Args{}},
        {"iisadmin", "stop", Args{}},
        {"iisadmin", "start", Args{"systemctl", "start", "php-fpm"}},
        {"smtpsvc", "start", Args{}},
        {"smtpsvc", "stop", std::nullopt},
        {"nntpsvc", "start", Args{}},
        {"msdtc", "stop", Args{}},
        {"msdtc", "start", Args{"/bin/true"}},
    };
    ExpectCommands(cases);
    EXPECT_EQ(map_.MtxStop(), Args{});
}

// The example map as shipped maps nothing; with its examples taken in (each "#name =" line
// uncommented), it is accepted and covers every name a restart can use, all options on.
TEST_F(ServicesMapTest, ExampleMapCoversEveryNameARestartUses) {
    const std::string shipped = test::ReadFile(TOLVANE_SOURCE_DIR "/packaging/services.conf");
    ServicesMap installed;
    ASSERT_TRUE(installed.Parse(shipped, "services.conf", error_)) << error_;
    std::string examples;
    for (std::size_t at = 0; at < shipped.size();) {
        const auto end = std::min(shipped.find('\n', at), shipped.size());
        const std::string line = shipped.substr(at, end - at);
        at = end + 1;
        const bool example = line.size() > 1 && line[0] == '#' &&
                             (std::isalnum(static_cast<unsigned char>(line[1])) != 0);
        examples += (example ? line.substr(1) : line) + "\n";
    }
    ASSERT_TRUE(map_.Parse(examples, "services.conf", error_)) << error_;
    Settings everything;
    everything.CheckFtpSvc = everything.CheckSmtpSvc = everything.CheckNntpSvc =
        everything.CheckMsdtc = 1;
    for (const ServiceUse& use : RestartServiceUses(everything)) {
        SCOPED_TRACE(use.name + " " + use.action);
        auto mapped = [&use](const ServicesMap& map) {
            return use.action.empty() ? map.MtxStop().has_value()
                                      : map.Command(use.name, use.action).has_value();
        };
        EXPECT_FALSE(mapped(installed));
        EXPECT_TRUE(mapped(map_));
        // The file names each of them for its reader.
        EXPECT_NE(
            shipped.find(use.action.empty() ? use.name : "net " + use.action + " " + use.name),
            std::string::npos);
    }
}

TEST_F(ServicesMapTest, MalformedLineIsRefusedWithItsNumber) {
    const struct {
        const char* text;
        const char* where;
    } cases[] = {
        {"w3svc nginx\n", ":1:"},
        {"# fine\nw3svc = nginx\n= nginx\n", ":3:"},
        {"w3svc = nginx\n=\n", ":2:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_FALSE(Load(c.text));
        EXPECT_NE(error_.find(path_ + c.where), std::string::npos) << error_;
        // Nothing of a refused file is used.
        EXPECT_EQ(map_.Command("w3svc", "start"), std::nullopt);
    }
    EXPECT_FALSE(map_.Load(dir_.File("missing.conf"), error_));
    EXPECT_EQ(error_, "cannot read the services map " + dir_.File("missing.conf") +
                          ": No such file or directory");
}

// As sshd checks its files: a map that anyone but the user and root could change, through the
// file, a folder on its path, a link or a link's target, is refused and maps nothing.
TEST_F(ServicesMapTest, MapThatOthersCouldChangeIsRefused) {
    constexpr uid_t kNobody = 65534;
    const std::string map = "w3svc.start = /bin/true\n";
    auto folder = [&](const std::string& name, fs::perms mode) {
        const std::string path = dir_.File(name);
        fs::create_directories(path);
        fs::permissions(path, mode);
        return path;
    };
    auto file = [&](const std::string& path, fs::perms mode) {
        test::WriteFile(path, map);
        fs::permissions(path, mode);
        return path;
    };
    const auto rw = fs::perms(0644);
    const auto sticky = fs::perms(01777);
    struct Case {
        const char* what;
        std::function<std::string(std::string& offender)> layout;  // gives the map's path
        bool trusted;
        bool needsRoot = false;
    };
    const Case cases[] = {
        {"the user's map", [&](std::string&) { return file(dir_.File("a.conf"), rw); }, true},
        {"in a sticky folder that all may write",
         [&](std::string&) { return file(folder("tmp", sticky) + "/a.conf", rw); }, true},
        {"through the user's link in a sticky folder",
         [&](std::string&) {
             const std::string link = folder("tmp", sticky) + "/link.conf";
             fs::create_symlink(file(dir_.File("a.conf"), rw), link);
             return link;
         },
         true},
        {"writable by all",
         [&](std::string& offender) {
             return offender = file(dir_.File("a.conf"), fs::perms(0666));
         },
         false},
        {"writable by the group",
         [&](std::string& offender) {
             return offender = file(dir_.File("a.conf"), fs::perms(0620));
         },
         false},
        {"in a folder that all may write",
         [&](std::string& offender) {
             offender = folder("open", fs::perms(0777));
             return file(offender + "/a.conf", rw);
         },
         false},
        {"through a link to a folder that all may write",
         [&](std::string& offender) {
             offender = folder("open", fs::perms(0777));
             fs::create_symlink(file(offender + "/a.conf", rw), dir_.File("link.conf"));
             return dir_.File("link.conf");
         },
         false},
        {"a FIFO",
         [&](std::string& offender) {
             offender = dir_.File("a.conf");
             ::mkfifo(offender.c_str(), 0644);
             return offender;
         },
         false},
        {"another user's map",
         [&](std::string& offender) {
             offender = file(dir_.File("a.conf"), rw);
             ::chown(offender.c_str(), kNobody, kNobody);
             return offender;
         },
         false, true},
        {"in another user's folder",
         [&](std::string& offender) {
             offender = folder("theirs", fs::perms(0755));
             ::chown(offender.c_str(), kNobody, kNobody);
             return file(offender + "/a.conf", rw);
         },
         false, true},
        {"through another user's link in a sticky folder",
         [&](std::string& offender) {
             offender = folder("tmp", sticky) + "/link.conf";
             fs::create_symlink(file(dir_.File("a.conf"), rw), offender);
             ::lchown(offender.c_str(), kNobody, kNobody);
             return offender;
         },
         false, true},
        {"another user's map, writable by all, through a link in a sticky folder",
         [&](std::string& offender) {
             offender = file(dir_.File("a.conf"), fs::perms(0666));
             ::chown(offender.c_str(), kNobody, kNobody);
             fs::create_symlink(offender, folder("tmp", sticky) + "/link.conf");
             return dir_.File("tmp/link.conf");
         },
         false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsRoot && ::geteuid() != 0) {
            continue;  // only root can give a file to another user
        }
        for (const auto& entry : fs::directory_iterator(dir_.Path())) {
            fs::remove_all(entry.path());
        }
        std::string offender;
        const std::string path = c.layout(offender);
        error_.clear();
        EXPECT_EQ(map_.Load(path, error_), c.trusted) << error_;
        if (c.trusted) {
            EXPECT_EQ(map_.Command("w3svc", "start"), (Args{"/bin/true"}));
            continue;
        }
        EXPECT_EQ(map_.Command("w3svc", "start"), std::nullopt);
        EXPECT_NE(error_.find("the services map " + path + " is refused: "), std::string::npos)
            << error_;
        EXPECT_NE(error_.find(offender + " "), std::string::npos) << error_;
        EXPECT_NE(error_.find("chmod go-w"), std::string::npos) << error_;
    }
}

}  // namespace
}  // namespace tolvane
