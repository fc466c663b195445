// The Debian package: built by CPack, listed by dpkg-deb, checked by lintian, unpacked with
// dpkg -x into a throw-away root whose tolvanectl then restarts a real listener.
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

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ReadFile;
using test::ShellQuote;
using test::WriteFile;

constexpr bool kWithUi = WITH_UI;

// A sh command line to its end, with its output.
test::RunResult Shell(const std::string& line) {
    test::TempDir outputs;
    ChildProcess child;
    EXPECT_TRUE(child.Start(std::vector<std::string>{
        "sh", "-c",
        line + " >" + ShellQuote(outputs.File("out")) + " 2>" + ShellQuote(outputs.File("err"))}));
    const ExitState state = child.Wait();
    return {state.exitCode, ReadFile(outputs.File("out")), ReadFile(outputs.File("err"))};
}

bool HaveProgram(const std::string& name) {
    return Shell("command -v " + name).exitCode == 0;
}

class Package : public ::testing::Test {
protected:
    // Built and unpacked once for every check.
    static void SetUpTestSuite() {
        test::UsePrivateInstanceMarker();
        work_ = std::make_unique<test::TempDir>();
        const test::RunResult built =
            Shell(std::string(CPACK_COMMAND) + " -G DEB --config " + ShellQuote(CPACK_CONFIG) +
                  " -B " + ShellQuote(work_->File("out")));
        ASSERT_EQ(built.exitCode, 0) << built.out << built.err;
        for (const auto& entry : fs::directory_iterator(work_->File("out"))) {
            if (entry.path().extension() == ".deb") {
                deb_ = entry.path();
            }
        }
        ASSERT_FALSE(deb_.empty()) << built.out;
        const test::RunResult unpacked =
            Shell("dpkg -x " + ShellQuote(deb_) + " " + ShellQuote(Root()));
        ASSERT_EQ(unpacked.exitCode, 0) << unpacked.err;
    }
    static void TearDownTestSuite() { work_.reset(); }

    void SetUp() override {
        if (deb_.empty()) {
            GTEST_FAIL() << "no package was built";
        }
    }

    static std::string Root() { return work_->File("root"); }
    static std::string Installed(const std::string& path) { return Root() + path; }

    static std::unique_ptr<test::TempDir> work_;
    static std::string deb_;
};

std::unique_ptr<test::TempDir> Package::work_;
std::string Package::deb_;

TEST_F(Package, ListsEveryFileWithItsLinksAndControlFields) {
    struct Entry {
        const char* path;
        const char* linkTarget;  // nullptr for a file
        bool desktop;            // only with the desktop program
    };
    const Entry expected[] = {
        {"/opt/tolvane/bin/tolvanectl", nullptr, false},
        {"/opt/tolvane/bin/command.com", nullptr, false},
        {"/opt/tolvane/bin/net", nullptr, false},
        {"/opt/tolvane/bin/mtxstop", nullptr, false},
        {"/opt/tolvane/bin/CSCRIPT.EXE", nullptr, false},
        {"/opt/tolvane/bin/tolvane", nullptr, true},
        {"/opt/tolvane/bin/TOLVREBOOT.LOG", "/var/log/tolvane/TOLVREBOOT.LOG", false},
        {"/usr/bin/tolvanectl", "/opt/tolvane/bin/tolvanectl", false},
        {"/usr/bin/tolvane", "/opt/tolvane/bin/tolvane", true},
        {"/etc/tolvane/services.conf", nullptr, false},
        {"/etc/logrotate.d/tolvane", nullptr, false},
        {"/lib/systemd/system/tolvane-monitor.service", nullptr, false},
        {"/usr/share/polkit-1/rules.d/50-tolvane.rules", nullptr, false},
        {"/usr/share/applications/tolvane.desktop", nullptr, true},
        {"/usr/share/tolvane/autostart/tolvane.desktop", nullptr, true},
        {"/usr/share/icons/hicolor/scalable/apps/tolvane.svg", nullptr, true},
        {"/usr/share/man/man1/tolvanectl.1.gz", nullptr, false},
        {"/usr/share/man/man1/tolvane.1.gz", nullptr, true},
        {"/usr/share/doc/iis-tolvane/copyright", nullptr, false},
        {"/usr/share/doc/iis-tolvane/changelog.gz", nullptr, false},
    };
    const test::RunResult listed = Shell("dpkg-deb -c " + ShellQuote(deb_));
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    for (const auto& entry : expected) {
        if (entry.desktop && !kWithUi) {
            continue;
        }
        SCOPED_TRACE(entry.path);
        const std::string shown =
            std::string(" .") + entry.path +
            (entry.linkTarget ? std::string(" -> ") + entry.linkTarget : std::string("\n"));
        EXPECT_NE(listed.out.find(shown), std::string::npos) << listed.out;
    }
    // Nothing enables the service on install.
    EXPECT_EQ(listed.out.find("/etc/systemd/"), std::string::npos);

    const test::RunResult fields = Shell("dpkg-deb -f " + ShellQuote(deb_));
    EXPECT_NE(fields.out.find("Package: iis-tolvane\n"), std::string::npos) << fields.out;
    EXPECT_NE(fields.out.find("Version: " PROJECT_VERSION "\n"), std::string::npos);
    // Computed from the executables' libraries.
    EXPECT_NE(fields.out.find("libc6 (>="), std::string::npos) << fields.out;
    EXPECT_NE(fields.out.find("libstdc++6 (>="), std::string::npos) << fields.out;
    if (kWithUi) {
        EXPECT_NE(fields.out.find("libqt6widgets6"), std::string::npos) << fields.out;
    }
    const test::RunResult conffiles = Shell("dpkg-deb -I " + ShellQuote(deb_) + " conffiles");
    EXPECT_EQ(conffiles.out, "/etc/tolvane/services.conf\n/etc/logrotate.d/tolvane\n");
}

TEST_F(Package, LintianReportsNoError) {
    if (!HaveProgram("lintian")) {
        GTEST_SKIP() << "lintian is not installed";
    }
    const test::RunResult checked = Shell("lintian --tag-display-limit 0 " + ShellQuote(deb_));
    for (std::size_t at = 0; at < checked.out.size();) {
        const auto end = checked.out.find('\n', at);
        const std::string line = checked.out.substr(at, end - at);
        EXPECT_NE(line.rfind("E: ", 0), 0u) << line;
        at = end == std::string::npos ? checked.out.size() : end + 1;
    }
    EXPECT_TRUE(checked.exitCode == 0 || checked.out.find("E: ") == std::string::npos)
        << checked.out << checked.err;
}

TEST_F(Package, InstalledTolvanectlRestartsARealListenerAndLogsThroughTheLink) {
    const std::string bin = Installed("/opt/tolvane/bin/");
    // The conffile maps nothing until the administrator says so.
    const std::string map = ReadFile(Installed("/etc/tolvane/services.conf"));
    ASSERT_FALSE(map.empty());
    for (std::size_t at = 0; at < map.size();) {
        const auto end = map.find('\n', at);
        const std::string line = map.substr(at, end - at);
        EXPECT_TRUE(line.empty() || line[0] == '#') << line;
        at = end + 1;
    }
    EXPECT_NE(map.find("#w3svc = nginx"), std::string::npos);

    // The log link as the package made it, then pointed into this root: the same shape, a log
    // kept in a folder of its own.
    ASSERT_EQ(fs::read_symlink(bin + "TOLVREBOOT.LOG"), "/var/log/tolvane/TOLVREBOOT.LOG");
    const std::string log = Installed("/var/log/tolvane/TOLVREBOOT.LOG");
    fs::create_directories(Installed("/var/log/tolvane"));
    fs::remove(bin + "TOLVREBOOT.LOG");
    fs::create_symlink(log, bin + "TOLVREBOOT.LOG");

    // Run through a link elsewhere, as /usr/bin/tolvanectl: the program finds its folder, its
    // stand-ins and the map beside them through its real path.
    ASSERT_EQ(fs::read_symlink(Installed("/usr/bin/tolvanectl")), "/opt/tolvane/bin/tolvanectl");
    fs::create_directories(work_->File("path"));
    const std::string onPath = work_->File("path/tolvanectl");
    fs::create_symlink(bin + "tolvanectl", onPath);

    const std::uint16_t port = test::UnusedLoopbackPort();
    const std::string pidFile = work_->File("listener.pid");
    WriteFile(bin + "services.conf", "w3svc.start = sh -c \"" + std::string(TEST_LISTENER) + " " +
                                         std::to_string(port) + " " + pidFile +
                                         " >/dev/null 2>&1 &\"\n");
    const std::string env = "LC_ALL=C.UTF-8 TOLVANE_SERVICES= TOLVANE_REGISTRY=" +
                            ShellQuote(work_->File("store/HKEY_CLASSES_ROOT.reg")) + " ";
    ASSERT_EQ(Shell(env + ShellQuote(onPath) + " set Port=" + std::to_string(port) +
                    " Interval=99999 CheckFtpSvc=0 CheckSmtpSvc=0")
                  .exitCode,
              0);
    const test::RunResult paths = Shell(env + ShellQuote(onPath) + " paths");
    EXPECT_NE(paths.out.find("services map: " + bin + "services.conf\n"), std::string::npos)
        << paths.out;
    EXPECT_NE(paths.out.find("restart log:  " + bin + "TOLVREBOOT.LOG\n"), std::string::npos)
        << paths.out;

    ChildProcess monitor;
    const std::string out = work_->File("monitor.out");
    ASSERT_TRUE(monitor.Start(std::vector<std::string>{
        "sh", "-c",
        env + "exec " + ShellQuote(onPath) + " monitor --verbose >" + ShellQuote(out) + " 2>&1"}));
    const bool restarted = test::WaitUntil(
        [&] { return ReadFile(out).find("IISを再起動しました  ") != std::string::npos; }, 120s);
    const bool answering = test::WaitUntil([&] { return test::LoopbackAnswers(port); }, 30s);
    ::kill(monitor.Pid(), SIGTERM);
    monitor.Wait();
    const std::string pid = ReadFile(pidFile);
    if (!pid.empty()) {
        ::kill(static_cast<pid_t>(std::atoi(pid.c_str())), SIGKILL);
    }
    ASSERT_TRUE(restarted) << ReadFile(out);
    EXPECT_TRUE(answering);

    EXPECT_TRUE(fs::is_symlink(bin + "TOLVREBOOT.LOG"));
    const std::string logged = ReadFile(log);
    // "IISを再起動しました" in CP932, the last line of the restart.
    EXPECT_NE(
        logged.find("\tIIS\x82\xF0\x8D\xC4\x8B\x4E\x93\xAE\x82\xB5\x82\xDC\x82\xB5\x82\xBD\r\n"),
        std::string::npos)
        << logged;
    // The seven lines of the restart and, after their steps, the two stops the map has no
    // command for: "コマンドが失敗しました（終了コード 2）: command.com /C net stop w3svc /y".
    EXPECT_EQ(test::CountOf(logged, "\r\n"), 9u) << logged;
    EXPECT_EQ(test::CountOf(logged, "\x81\x6A: command.com /C net stop "), 2u) << logged;
}

TEST_F(Package, SystemdAcceptsTheUnitAndItsSandbox) {
    const std::string unit = Installed("/lib/systemd/system/tolvane-monitor.service");
    const std::string text = ReadFile(unit);
    for (const char* line : {"Type=notify\n", "ExecStart=/opt/tolvane/bin/tolvanectl monitor\n",
                             "Environment=TOLVANE_REGISTRY=/etc/tolvane/HKEY_CLASSES_ROOT.reg\n",
                             "WatchdogSec=", "Restart=on-failure\n", "ProtectSystem=strict\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    if (!HaveProgram("systemd-analyze")) {
        GTEST_SKIP() << "systemd-analyze is absent: the unit was not verified";
    }
    // The targets the unit is ordered against come from this machine's systemd.
    const test::RunResult targets =
        Shell("cp /lib/systemd/system/*.target " + ShellQuote(Installed("/lib/systemd/system/")));
    ASSERT_EQ(targets.exitCode, 0) << targets.err;
    const test::RunResult verified = Shell(
        "systemd-analyze verify --man=no --root=" + ShellQuote(Root()) + " " + ShellQuote(unit));
    EXPECT_EQ(verified.exitCode, 0) << verified.out << verified.err;
    EXPECT_EQ(verified.err, "");
    const test::RunResult security =
        Shell("systemd-analyze security --offline=true --root=" + ShellQuote(Root()) + " " +
              ShellQuote(unit));
    const auto at = security.out.find("Overall exposure level for tolvane-monitor.service: ");
    ASSERT_NE(at, std::string::npos) << security.out << security.err;
    // systemd rates 0 (tight) to 10 (no sandbox); below 4 it calls a service "OK".
    const double exposure = std::atof(security.out.c_str() + at + 52);
    EXPECT_LT(exposure, 4.0) << security.out;
}

TEST_F(Package, PolkitRuleGrantsOnlyUnitControlToTheGroup) {
    if (!HaveProgram("node")) {
        GTEST_SKIP() << "node is not installed: the polkit rule was not evaluated";
    }
    const std::string rule = Installed("/usr/share/polkit-1/rules.d/50-tolvane.rules");
    // node takes only known extensions.
    const std::string copy = work_->File("50-tolvane.js");
    fs::copy_file(rule, copy, fs::copy_options::overwrite_existing);
    const test::RunResult parsed = Shell("node --check " + ShellQuote(copy));
    EXPECT_EQ(parsed.exitCode, 0) << parsed.err;

    // The rule run as polkitd runs it, against a table of requests.
    const std::string script = work_->File("rule-cases.js");
    WriteFile(script, R"js(
const rules = [];
const polkit = { Result: { YES: "yes", NO: "no", AUTH_ADMIN: "auth_admin",
                           NOT_HANDLED: undefined },
                 addRule: (rule) => rules.push(rule), log: () => {} };
eval(require("fs").readFileSync(process.argv[2], "utf8"));
const cases = [
  ["org.freedesktop.systemd1.manage-units", "start", ["tolvane"], "yes"],
  ["org.freedesktop.systemd1.manage-units", "stop", ["users", "tolvane"], "yes"],
  ["org.freedesktop.systemd1.manage-units", "restart", ["tolvane"], "yes"],
  ["org.freedesktop.systemd1.manage-units", "start", ["users"], undefined],
  ["org.freedesktop.systemd1.manage-units", "reload", ["tolvane"], undefined],
  ["org.freedesktop.systemd1.manage-unit-files", undefined, ["tolvane"], undefined],
  ["org.freedesktop.systemd1.set-environment", undefined, ["tolvane"], undefined],
  ["org.freedesktop.login1.reboot", undefined, ["tolvane"], undefined],
  ["org.freedesktop.policykit.exec", undefined, ["tolvane"], undefined],
];
let failed = 0;
for (const [id, verb, groups, want] of cases) {
  const action = { id, lookup: (key) => (key === "verb" ? verb : undefined) };
  const subject = { user: "someone", isInGroup: (g) => groups.includes(g), local: true,
                    active: true };
  let got;
  for (const rule of rules) { got = rule(action, subject); if (got !== undefined) break; }
  if (got !== want) { console.log(`${id} ${verb} ${groups}: ${got}, want ${want}`); failed++; }
}
process.exit(rules.length === 1 && failed === 0 ? 0 : 1);
)js");
    const test::RunResult evaluated = Shell("node " + ShellQuote(script) + " " + ShellQuote(rule));
    EXPECT_EQ(evaluated.exitCode, 0) << evaluated.out << evaluated.err;
}

}  // namespace
}  // namespace tolvane
