// tolvane-mapped-unit, as polkitd runs it for the group's rule: a copy with a map beside it, the
// answer in its exit status (0 mapped, 1 not, 2 no trusted map).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "os/File.h"
#include "os/Process.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

constexpr const char* kMap =
    "w3svc = nginx\n"
    "iisadmin = apache2.service\n"
    "msftpsvc = vsftpd.socket\n"
    "smtpsvc = exim4\n"
    "smtpsvc = postfix@-\n"
    "nntpsvc.start = systemctl start inn2\n"
    "nntpsvc.stop = systemctl stop inn2\n"
    "msdtc = msdtc-unit\n"
    "msdtc.start = /bin/true\n"
    "msdtc.stop = /bin/true\n"
    "mtxstop = systemctl restart cron\n"
    "msmq = rabbitmq-server\n"
    "msmq =\n";

TEST(MappedUnit, AnswersOnlyForTheUnitsOfARootOwnedInstalledMap) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "the helper trusts only root's map, which only root can make here";
    }
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int exitCode;
        const char* map = kMap;  // nullptr: no map beside the helper
        fs::perms mapMode = fs::perms(0644);
        uid_t mapOwner = 0;
        fs::perms folderMode = fs::perms(0755);
        std::vector<std::string> prefix = {};  // run through this (another user, environment)
    };
    const std::string otherMap = "cron = cron\n";
    test::TempDir elsewhere;
    test::WriteFile(elsewhere.File("services.conf"), otherMap);
    const Case cases[] = {
        {"a unit line, named as systemctl names it", {"nginx.service"}, 0},
        {"the same without its type", {"nginx"}, 0},
        {"a unit line with its type", {"apache2.service"}, 0},
        {"a unit of another type", {"vsftpd.socket"}, 0},
        {"the later of two lines", {"postfix@-.service"}, 0},
        {"the earlier of two lines", {"exim4.service"}, 1},
        {"an unmapped unit", {"cron.service"}, 1},
        {"powering off", {"poweroff.target"}, 1},
        {"the bus", {"dbus.socket"}, 1},
        {"a service name of the map", {"w3svc.service"}, 1},
        {"a unit only explicit commands name", {"inn2.service"}, 1},
        {"a unit line that explicit commands replace", {"msdtc-unit.service"}, 1},
        {"the unit mtxstop's command names", {"cron"}, 1},
        {"a unit line an empty entry replaces", {"rabbitmq-server"}, 1},
        {"a type only", {".service"}, 1},
        {"nothing", {""}, 1},
        {"an option", {"--help"}, 1},
        {"two arguments", {"nginx.service", "cron.service"}, 2},
        {"no argument", {}, 2},
        {"a map the group may write", {"nginx.service"}, 2, kMap, fs::perms(0664)},
        {"a map all may write", {"nginx.service"}, 2, kMap, fs::perms(0646)},
        {"another user's map", {"nginx.service"}, 2, kMap, fs::perms(0644), kNobody},
        {"in a folder all may write",
         {"nginx.service"},
         2,
         kMap,
         fs::perms(0644),
         0,
         fs::perms(0777)},
        // polkitd's user is no owner to trust: its map would be its own choice.
        {"the running user's own map",
         {"nginx.service"},
         2,
         kMap,
         fs::perms(0644),
         kNobody,
         fs::perms(0755),
         {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}},
        {"the installed map as another user",
         {"nginx.service"},
         0,
         kMap,
         fs::perms(0644),
         0,
         fs::perms(0755),
         {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}},
        {"a map the environment names",
         {"cron.service"},
         1,
         kMap,
         fs::perms(0644),
         0,
         fs::perms(0755),
         {"env", "TOLVANE_SERVICES=" + elsewhere.File("services.conf")}},
        {"no map beside it", {"nginx.service"}, 2, nullptr},
    };
    const bool systemMap = FileExists("/etc/tolvane/services.conf");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.map == nullptr && systemMap) {
            continue;  // the helper would read this machine's own map
        }
        test::TempDir dir;
        fs::permissions(dir.Path(), fs::perms(0755));
        const std::string bin = dir.File("bin");
        fs::create_directory(bin);
        fs::permissions(bin, c.folderMode);
        const std::string helper = bin + "/tolvane-mapped-unit";
        fs::copy_file(std::string(TOLVANE_BIN_DIR) + "/tolvane-mapped-unit", helper);
        if (c.map != nullptr) {
            const std::string map = bin + "/services.conf";
            test::WriteFile(map, c.map);
            fs::permissions(map, c.mapMode);
            ASSERT_EQ(::chown(map.c_str(), c.mapOwner, c.mapOwner), 0);
        }
        std::vector<std::string> argv = c.prefix;
        argv.push_back(helper);
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        ChildProcess child;
        ASSERT_TRUE(child.Start(argv));
        const ExitState state = child.Wait();
        ASSERT_TRUE(state.readable);
        EXPECT_EQ(state.exitCode, c.exitCode);
    }
}

}  // namespace
}  // namespace tolvane
