// The service stand-ins as a restart runs them: net and mtxstop take commands only from a
// services map that nobody but the user and root could change.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "os/Process.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::ShellQuote;

TEST(ServiceStandIns, RefuseAMapThatOthersCouldChange) {
    test::PrivateInstall install(TOLVANE_BIN_DIR, {"net", "mtxstop"});
    const std::string map = install.dir.File("services.conf");
    const std::string ran = install.dir.File("ran");
    const struct {
        const char* what;
        std::function<void()> spoil;
        bool trusted;
        bool needsRoot;
    } cases[] = {
        {"the user's own map", [] {}, true, false},
        {"a map that all may write", [&] { fs::permissions(map, fs::perms(0666)); }, false, false},
        {"another user's map", [&] { ASSERT_EQ(::chown(map.c_str(), 65534, 65534), 0); }, false,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsRoot && ::geteuid() != 0) {
            continue;  // only root can give a file to another user
        }
        fs::remove(map);
        fs::remove(ran);
        test::WriteFile(map, "w3svc.start = touch " + ran + "\nmtxstop = touch " + ran + "\n");
        fs::permissions(map, fs::perms(0644));
        c.spoil();
        for (const std::string tool : {"net start w3svc", "mtxstop"}) {
            SCOPED_TRACE(tool);
            const std::string err = install.dir.File("err");
            ChildProcess child;
            ASSERT_TRUE(child.Start(std::vector<std::string>{
                "sh", "-c",
                "TOLVANE_SERVICES=" + ShellQuote(map) + " exec " + install.dir.Path() + "/" + tool +
                    " 2>" + ShellQuote(err)}));
            const int code = child.Wait().exitCode;
            EXPECT_EQ(code, c.trusted ? 0 : 2);
            EXPECT_EQ(fs::exists(ran), c.trusted) << "the map's command ran";
            if (!c.trusted) {
                EXPECT_NE(ReadFile(err).find("the services map " + map + " is refused: " + map),
                          std::string::npos)
                    << ReadFile(err);
            }
            fs::remove(ran);
        }
    }
}

// An empty entry says that this machine has nothing to do for a name: net and mtxstop succeed
// without a word, while the names and actions the map leaves out still fail.
TEST(ServiceStandIns, AnEmptyEntryIsNothingToDo) {
    test::PrivateInstall install(TOLVANE_BIN_DIR, {"command.com", "net", "mtxstop"});
    const std::string map = install.dir.File("services.conf");
    const std::string ran = install.dir.File("ran");
    const std::string touch = "touch " + ran + "\n";
    test::WriteFile(map,
                    "msftpsvc =\n"
                    "iisadmin.stop =\n"
                    "iisadmin.start = " +
                        touch +
                        "smtpsvc.start =\n"
                        "W3SVC.STOP = " +
                        touch +
                        "w3svc.stop =\n"  // the later line wins
                        "mtxstop =\n");
    fs::permissions(map, fs::perms(0644));
    const struct {
        const char* command;
        int code;
        bool runs;
        const char* err;  // what standard error holds
    } cases[] = {
        {"net start msftpsvc", 0, false, ""},
        {"net stop MSFTPSVC /y", 0, false, ""},
        {"net stop iisadmin /y", 0, false, ""},
        {"net start iisadmin", 0, true, ""},
        {"net start smtpsvc", 0, false, ""},
        {"net stop smtpsvc", 2, false, "net: the service name smtpsvc is not in the services map "},
        {"net stop w3svc /y", 0, false, ""},
        {"net start nntpsvc", 2, false,
         "net: the service name nntpsvc is not in the services map "},
        {"mtxstop", 0, false, ""},
        {"command.com /C net start msftpsvc", 0, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        fs::remove(ran);
        const std::string out = install.dir.File("out");
        const std::string err = install.dir.File("err");
        ChildProcess child;
        ASSERT_TRUE(child.Start(std::vector<std::string>{
            "sh", "-c",
            "PATH=" + ShellQuote(install.dir.Path()) +
                ":$PATH TOLVANE_SERVICES=" + ShellQuote(map) + " exec " + install.dir.Path() + "/" +
                c.command + " >" + ShellQuote(out) + " 2>" + ShellQuote(err)}));
        EXPECT_EQ(child.Wait().exitCode, c.code);
        EXPECT_EQ(fs::exists(ran), c.runs);
        EXPECT_EQ(ReadFile(out), "");
        const std::string said = ReadFile(err);
        EXPECT_EQ(said.substr(0, std::string(c.err).size()), c.err);
        EXPECT_EQ(said.empty(), std::string(c.err).empty()) << said;
    }
}

}  // namespace
}  // namespace tolvane
