// What tolvanectl tells a new user: the services map a restart needs, where things are, its
// own name and commands.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "os/Process.h"
#include "tests/support/PosixSupport.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;

// The text with every "@" replaced by the folder.
std::string InFolder(std::string text, const std::string& folder) {
    for (auto at = text.find('@'); at != std::string::npos; at = text.find('@', at)) {
        text.replace(at, 1, folder);
    }
    return text;
}

TEST(TolvanectlFirstRun, MonitorSaysOnceWhenARestartWouldReachNoService) {
    struct Case {
        const char* name;
        const char* servicesVariable;  // nullptr: unset; "-" the file "map" of the folder
        const char* map;               // contents of the map, nullptr for none
        std::string note;              // with "@" for the folder; empty: no note
    };
    const bool systemMap = std::filesystem::exists("/etc/tolvane/services.conf");
    const std::string uses =
        "tolvanectl: a restart with the current settings uses w3svc, "
        "iisadmin, mtxstop, msftpsvc and smtpsvc; ";
    const Case cases[] = {
        {"none anywhere", nullptr, nullptr,
         uses + "no services map found (tried @/services.conf, /etc/tolvane/services.conf), so "
                "it reaches none of them."},
        {"named but missing", "@/elsewhere.conf", nullptr,
         uses + "no services map found (tried @/elsewhere.conf), so it reaches none of them."},
        {"only comments, as installed", "-", "# w3svc = nginx\n\n#iisadmin = php-fpm\n",
         uses + "the services map @/map does not map w3svc, iisadmin, msftpsvc and smtpsvc, so "
                "net fails on each in every restart (map each to this machine's counterpart, or "
                "to nothing: \"smtpsvc =\")."},
        {"malformed", "-", "w3svc nginx\n",
         uses + "services map refused (@/map:1: expected NAME = UNIT or NAME.start/.stop = "
                "COMMAND), so it reaches none of them."},
        {"partly mapped", "-", "w3svc = nginx\nsmtpsvc =\n",
         uses + "the services map @/map does not map iisadmin and msftpsvc, so net fails on each "
                "in every restart (map each to this machine's counterpart, or to nothing: "
                "\"msftpsvc =\")."},
        {"mapped, or nothing to do", "-", "w3svc = nginx\niisadmin =\nmsftpsvc =\nsmtpsvc =\n", ""},
    };
    // All cases at once, each with its own install and listener.
    struct Run {
        const Case* c;
        std::unique_ptr<test::PrivateInstall> install;
        std::unique_ptr<test::Listener> server;
        // Ended with its process group however the test ends.
        test::TestChild monitor;
    };
    std::vector<Run> runs;
    for (const auto& c : cases) {
        if (c.servicesVariable == nullptr && systemMap) {
            continue;  // this machine has a map where a new user has none
        }
        Run run{&c,
                std::make_unique<test::PrivateInstall>(
                    TOLVANE_BIN_DIR, std::initializer_list<const char*>{"tolvanectl", "command.com",
                                                                        "net", "mtxstop"}),
                std::make_unique<test::Listener>(), test::TestChild()};
        const test::PrivateInstall& install = *run.install;
        std::string variable = "TOLVANE_SERVICES= ";
        if (c.servicesVariable != nullptr) {
            const std::string path = std::string(c.servicesVariable) == "-"
                                         ? install.dir.File("map")
                                         : InFolder(c.servicesVariable, install.dir.Path());
            variable = "TOLVANE_SERVICES=" + test::ShellQuote(path) + " ";
        }
        if (c.map != nullptr) {
            test::WriteFile(install.dir.File("map"), c.map);
        }
        ASSERT_EQ(install.Run({"set", "Port=" + std::to_string(run.server->Port()), "Interval=1"})
                      .exitCode,
                  0);
        // Each install's store is named in the command line, as the environment changes,
        ASSERT_TRUE(run.monitor.Start(std::vector<std::string>{
            "sh", "-c",
            // and each monitor marks itself under a name of its own.
            variable + "TOLVANE_TEST_INSTANCE=" + std::to_string(::getpid()) + "-" +
                std::to_string(runs.size()) + " TOLVANE_REGISTRY=" +
                test::ShellQuote(install.Store()) + " " + install.Command({"monitor", "--verbose"})}));
        runs.push_back(std::move(run));
    }
    for (auto& run : runs) {
        SCOPED_TRACE(run.c->name);
        const test::PrivateInstall& install = *run.install;
        // Two checks, so that a note repeated per tick would show.
        const bool checked = test::WaitUntil(
            [&] { return test::CountOf(test::ReadFile(install.dir.File("out")), "  OK\n") >= 2; },
            60s);
        ::kill(run.monitor.Pid(), SIGTERM);
        run.monitor.WaitForEnd("the monitor");
        EXPECT_TRUE(checked) << test::ReadFile(install.dir.File("out"));
        const std::string err = test::ReadFile(install.dir.File("err"));
        if (run.c->note.empty()) {
            EXPECT_EQ(err, "");
        } else {
            EXPECT_EQ(err, InFolder(run.c->note, install.dir.Path()) +
                               " See the services map in tolvanectl(1).\n");
        }
    }
}

TEST(TolvanectlFirstRun, PathsHelpAndVersion) {
    test::PrivateInstall install(TOLVANE_BIN_DIR, {"tolvanectl"});
    const std::string map = install.dir.File("services.conf");
    test::WriteFile(map, "w3svc = nginx\n");
    const test::RunResult paths = install.Run({"paths"});
    EXPECT_EQ(paths.exitCode, 0);
    // The folder of the real executable, the store the environment names, the map beside.
    EXPECT_EQ(paths.out, "settings:     " + install.Store() +
                             " ($TOLVANE_REGISTRY)\npassword:     " +
                             install.dir.File("store/HKEY_CLASSES_ROOT.SmtpPassword") +
                             "\nservices map: " + map +
                             "\nrestart log:  " + install.LogPath() + "\n");

    const test::RunResult help = install.Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: tolvanectl", 0), 0u);
    for (const char* command :
         {"monitor", "probe", "settings", "set", "log", "send-test-mail", "paths", "--help"}) {
        EXPECT_NE(help.out.find(std::string("  ") + command), std::string::npos) << command;
    }
    const test::RunResult version = install.Run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "tolvanectl " PROJECT_VERSION "\n");
}

// Without $TOLVANE_REGISTRY, root's store is the system's, the one the system service reads,
// and everyone else's is their own; paths says which and why.
TEST(TolvanectlFirstRun, PathsNameTheDefaultStoreAndWhy) {
    test::TempDir dir;
    const std::string tolvanectl = test::Stage(TOLVANE_BIN_DIR "/tolvanectl", dir.Path());
    test::HandOver(dir.Path());
    auto paths = [&](const std::string& out) {
        const std::string line =
            "env -u TOLVANE_REGISTRY -u XDG_CONFIG_HOME HOME=/home/someone LC_ALL=C.UTF-8 " +
            test::ShellQuote(tolvanectl) + " paths >" + test::ShellQuote(dir.File(out));
        return std::system(line.c_str()) == 0 ? 0 : 1;
    };
    auto settingsLine = [&](const std::string& out) {
        const std::string text = test::ReadFile(dir.File(out));
        return text.substr(0, text.find('\n') + 1);
    };
    const std::string own =
        "settings:     /home/someone/.config/tolvane/HKEY_CLASSES_ROOT.reg (this user's store)\n";
    const std::string system =
        "settings:     /etc/tolvane/HKEY_CLASSES_ROOT.reg (the system's store, as root)\n";
    ASSERT_EQ(paths("ours"), 0);
    EXPECT_EQ(settingsLine("ours"), ::geteuid() == 0 ? system : own);
    if (::geteuid() == 0) {
        ASSERT_EQ(test::RunUnprivileged("tolvanectl paths", [&] { return paths("theirs"); }), 0);
        EXPECT_EQ(settingsLine("theirs"), own);
    }
}

}  // namespace
}  // namespace tolvane
