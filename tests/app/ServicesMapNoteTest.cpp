// The first-run note on the services map: the names a restart with the settings uses, and
// which of them the map leaves out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "app/StartupReport.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

TEST(ServicesMapNote, NamesWhatARestartUsesAndWhatTheMapLeavesOut) {
    test::TempDir dir;
    const std::string path = dir.File("services.conf");
    ASSERT_EQ(::setenv("TOLVANE_SERVICES", path.c_str(), 1), 0);
    const std::string defaults =
        "a restart with the current settings uses w3svc, iisadmin, "
        "mtxstop, msftpsvc and smtpsvc; ";
    const std::string all =
        "a restart with the current settings uses w3svc, iisadmin, msdtc, "
        "mtxstop, msftpsvc, smtpsvc and nntpsvc; ";
    const std::string everyName =
        "w3svc = nginx\niisadmin = php-fpm\nmsftpsvc = vsftpd\n"
        "smtpsvc = postfix\nnntpsvc = inn2\nmsdtc = dtc\n";
    struct Case {
        const char* name;
        std::function<void(Settings&)> settings;
        const char* map;   // nullptr: no file
        std::string note;  // after "tolvanectl: ", empty for none
    };
    auto defaultSettings = [](Settings&) {};
    auto allOn = [](Settings& s) { s.CheckNntpSvc = s.CheckMsdtc = 1; };
    auto allOff = [](Settings& s) { s.CheckFtpSvc = s.CheckSmtpSvc = 0; };
    const Case cases[] = {
        {"no map", defaultSettings, nullptr,
         defaults + "no services map found (tried " + path + "), so it reaches none of them"},
        {"refused map", defaultSettings, "w3svc nginx\n",
         defaults + "services map refused (" + path +
             ":1: expected NAME = UNIT or NAME.start/.stop = COMMAND), so it reaches none of them"},
        {"only comments", defaultSettings, "#w3svc = nginx\n",
         defaults + "the services map " + path +
             " does not map w3svc, iisadmin, msftpsvc and smtpsvc, so net fails on each in every "
             "restart (map each to this machine's counterpart, or to nothing: \"smtpsvc =\")"},
        {"the web server only", defaultSettings, "w3svc = nginx\n",
         defaults + "the services map " + path +
             " does not map iisadmin, msftpsvc and smtpsvc, so net fails on each in every "
             "restart (map each to this machine's counterpart, or to nothing: \"smtpsvc =\")"},
        {"the rest set to nothing", defaultSettings,
         "w3svc = nginx\niisadmin =\nmsftpsvc.start =\nsmtpsvc =\n", ""},
        {"mtxstop needs no line", defaultSettings,
         "w3svc = nginx\niisadmin = php-fpm\nmsftpsvc = vsftpd\nsmtpsvc = postfix\n", ""},
        {"the options off", allOff, "w3svc = nginx\niisadmin.stop =\n", ""},
        {"the options off, a start only", allOff, "w3svc.start = /bin/true\niisadmin.stop =\n",
         "a restart with the current settings uses w3svc, iisadmin and mtxstop; the services map " +
             path +
             " does not map w3svc, so net fails on it in every restart (map it to this machine's "
             "counterpart, or to nothing: \"w3svc =\")"},
        {"every option, every name", allOn, everyName.c_str(), ""},
        {"every option, msdtc only started", allOn,
         "w3svc = nginx\niisadmin =\nmsftpsvc =\nsmtpsvc =\nnntpsvc =\nmsdtc.start = /bin/true\n",
         all + "the services map " + path +
             " does not map msdtc, so net fails on it in every restart (map it to this "
             "machine's counterpart, or to nothing: \"msdtc =\")"},
        {"every option, the defaults' map", allOn,
         "w3svc = nginx\niisadmin =\nmsftpsvc =\nsmtpsvc =\n",
         all + "the services map " + path +
             " does not map msdtc and nntpsvc, so net fails on each in every restart (map each "
             "to this machine's counterpart, or to nothing: \"nntpsvc =\")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(path);
        if (c.map != nullptr) {
            test::WriteFile(path, c.map);
        }
        Settings settings;
        c.settings(settings);
        EXPECT_EQ(ServicesMapNote("tolvanectl", settings),
                  c.note.empty()
                      ? std::string()
                      : "tolvanectl: " + c.note + ". See the services map in tolvanectl(1).\n");
    }
    ::unsetenv("TOLVANE_SERVICES");
}

}  // namespace
}  // namespace tolvane
