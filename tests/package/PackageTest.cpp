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
        std::size_t debs = 0;
        for (const auto& entry : fs::directory_iterator(work_->File("out"))) {
            const std::string name = entry.path().filename().string();
            if (entry.path().extension() != ".deb") {
                continue;
            }
            ++debs;
            if (name.starts_with("iis-tolvane_")) {
                deb_ = entry.path();
            } else if (name.starts_with("iis-tolvane-desktop_")) {
                desktopDeb_ = entry.path();
            }
        }
        ASSERT_FALSE(deb_.empty()) << built.out;
        // Without the desktop program, only the server's package.
        ASSERT_EQ(desktopDeb_.empty(), !kWithUi) << built.out;
        ASSERT_EQ(debs, kWithUi ? 2u : 1u) << built.out;
        for (const std::string& deb : Debs()) {
            const test::RunResult unpacked =
                Shell("dpkg -x " + ShellQuote(deb) + " " + ShellQuote(Root()));
            ASSERT_EQ(unpacked.exitCode, 0) << unpacked.err;
        }
    }
    static void TearDownTestSuite() { work_.reset(); }

    void SetUp() override {
        if (deb_.empty() || desktopDeb_.empty() == kWithUi) {
            GTEST_FAIL() << "the packages were not built";
        }
    }

    static std::vector<std::string> Debs() {
        std::vector<std::string> debs{deb_};
        if (!desktopDeb_.empty()) {
            debs.push_back(desktopDeb_);
        }
        return debs;
    }
    // Runs the sh script in a chroot into an overlay over this machine's own root, with the
    // packages in /debs, in mount and process namespaces of its own: whatever the script
    // installs or starts vanishes with them. kNoOverlay when the overlay cannot be mounted.
    static constexpr int kNoOverlay = 77;
    static test::RunResult InOverlayChroot(const std::string& steps) {
        const test::TempDir dir;
        WriteFile(dir.File("steps.sh"), steps);
        // The overlay's upper layer on a tmpfs: the machine's root may itself be an overlay.
        WriteFile(dir.File("mount.sh"), R"sh(
d=$1; steps=$2; shift 2
mount -t tmpfs tmpfs "$d" || exit 77
mkdir "$d/upper" "$d/work" "$d/root" "$d/upper/debs"
mount -t overlay overlay -o lowerdir=/,upperdir="$d/upper",workdir="$d/work" "$d/root" || exit 77
mount -t proc proc "$d/root/proc" && mount --bind /dev "$d/root/dev" &&
    mount -t tmpfs tmpfs "$d/root/run" || exit 77
cp "$@" "$d/root/debs/" && cp "$steps" "$d/root/steps.sh" || exit 1
exec chroot "$d/root" sh /steps.sh
)sh");
        fs::create_directories(dir.File("overlay"));
        std::string line = "unshare --mount --propagation private --pid --fork sh " +
                           ShellQuote(dir.File("mount.sh")) + " " +
                           ShellQuote(dir.File("overlay")) + " " + ShellQuote(dir.File("steps.sh"));
        for (const std::string& deb : Debs()) {
            line += " " + ShellQuote(deb);
        }
        return Shell(line);
    }
    static std::string Root() { return work_->File("root"); }
    static std::string Installed(const std::string& path) { return Root() + path; }

    static std::unique_ptr<test::TempDir> work_;
    static std::string deb_;         // iis-tolvane
    static std::string desktopDeb_;  // iis-tolvane-desktop, with the desktop program
};

std::unique_ptr<test::TempDir> Package::work_;
std::string Package::deb_;
std::string Package::desktopDeb_;

TEST_F(Package, ListsEveryFileWithItsLinksAndControlFields) {
    struct Entry {
        const char* path;
        const char* linkTarget;  // nullptr for a file
        bool desktop;            // in iis-tolvane-desktop, else in iis-tolvane
    };
    const Entry expected[] = {
        {"/opt/tolvane/bin/tolvanectl", nullptr, false},
        {"/opt/tolvane/bin/command.com", nullptr, false},
        {"/opt/tolvane/bin/net", nullptr, false},
        {"/opt/tolvane/bin/mtxstop", nullptr, false},
        {"/opt/tolvane/bin/CSCRIPT.EXE", nullptr, false},
        {"/opt/tolvane/bin/tolvane", nullptr, true},
        {"/opt/tolvane/bin/tolvane-mapped-unit", nullptr, true},
        {"/opt/tolvane/bin/TOLVREBOOT.LOG", "/var/log/tolvane/TOLVREBOOT.LOG", false},
        {"/usr/bin/tolvanectl", "/opt/tolvane/bin/tolvanectl", false},
        {"/usr/bin/tolvane", "/opt/tolvane/bin/tolvane", true},
        {"/etc/tolvane/services.conf", nullptr, false},
        {"/etc/logrotate.d/tolvane", nullptr, false},
        {"/lib/systemd/system/tolvane-monitor.service", nullptr, false},
        {"/usr/share/polkit-1/rules.d/50-tolvane.rules", nullptr, true},
        {"/usr/share/applications/tolvane.desktop", nullptr, true},
        {"/usr/share/tolvane/autostart/tolvane.desktop", nullptr, true},
        {"/usr/share/icons/hicolor/scalable/apps/tolvane.svg", nullptr, true},
        {"/usr/share/man/man1/tolvanectl.1.gz", nullptr, false},
        {"/usr/share/man/man1/tolvane.1.gz", nullptr, true},
        {"/usr/share/doc/iis-tolvane/copyright", nullptr, false},
        {"/usr/share/doc/iis-tolvane/changelog.gz", nullptr, false},
        {"/usr/share/doc/iis-tolvane-desktop/copyright", nullptr, true},
        {"/usr/share/doc/iis-tolvane-desktop/changelog.gz", nullptr, true},
        {"/usr/share/lintian/overrides/iis-tolvane", nullptr, false},
        {"/usr/share/lintian/overrides/iis-tolvane-desktop", nullptr, true},
    };
    const test::RunResult listed = Shell("dpkg-deb -c " + ShellQuote(deb_));
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    const test::RunResult desktopListed =
        kWithUi ? Shell("dpkg-deb -c " + ShellQuote(desktopDeb_)) : test::RunResult{0, "", ""};
    ASSERT_EQ(desktopListed.exitCode, 0) << desktopListed.err;
    for (const auto& entry : expected) {
        SCOPED_TRACE(entry.path);
        const std::string shown =
            std::string(" .") + entry.path +
            (entry.linkTarget ? std::string(" -> ") + entry.linkTarget : std::string("\n"));
        const std::string& own = entry.desktop ? desktopListed.out : listed.out;
        const std::string& other = entry.desktop ? listed.out : desktopListed.out;
        if (kWithUi || !entry.desktop) {
            EXPECT_NE(own.find(shown), std::string::npos) << own;
        }
        EXPECT_EQ(other.find(shown), std::string::npos) << other;
    }
    // Nothing enables the service on install.
    EXPECT_EQ((listed.out + desktopListed.out).find("/etc/systemd/"), std::string::npos);

    const test::RunResult fields = Shell("dpkg-deb -f " + ShellQuote(deb_));
    EXPECT_NE(fields.out.find("Package: iis-tolvane\n"), std::string::npos) << fields.out;
    EXPECT_NE(fields.out.find("Version: " PROJECT_VERSION "\n"), std::string::npos);
    // Computed from the executables' libraries: a server gets no Qt.
    EXPECT_NE(fields.out.find("libc6 (>="), std::string::npos) << fields.out;
    EXPECT_NE(fields.out.find("libstdc++6 (>="), std::string::npos) << fields.out;
    // The mail's TLS is the system's OpenSSL, checked against the system's roots.
    EXPECT_NE(fields.out.find("libssl3 (>="), std::string::npos) << fields.out;
    EXPECT_NE(fields.out.find("Recommends: systemd, logrotate, ca-certificates\n"),
              std::string::npos)
        << fields.out;
    EXPECT_EQ(fields.out.find("qt6"), std::string::npos) << fields.out;
    EXPECT_EQ(fields.out.find("fonts-"), std::string::npos) << fields.out;
    EXPECT_EQ(fields.out.find("polkitd"), std::string::npos) << fields.out;
    const test::RunResult conffiles = Shell("dpkg-deb -I " + ShellQuote(deb_) + " conffiles");
    EXPECT_EQ(conffiles.out, "/etc/tolvane/services.conf\n/etc/logrotate.d/tolvane\n");
    if (!kWithUi) {
        return;
    }
    const test::RunResult desktopFields = Shell("dpkg-deb -f " + ShellQuote(desktopDeb_));
    for (const char* field :
         {"Package: iis-tolvane-desktop\n", "Version: " PROJECT_VERSION "\n",
          "Depends: iis-tolvane (= " PROJECT_VERSION "), fonts-ipafont-gothic | "
          "fonts-japanese-gothic, ",
          "libqt6widgets6", "libstdc++6 (>=", "Recommends: polkitd\n"}) {
        EXPECT_NE(desktopFields.out.find(field), std::string::npos) << field << desktopFields.out;
    }
    // Its files are no conffiles and it has no maintainer scripts: the first package's make
    // the group, the log and the unit.
    const test::RunResult control = Shell("dpkg-deb -I " + ShellQuote(desktopDeb_));
    for (const char* script : {"conffiles", "postinst", "prerm", "postrm"}) {
        EXPECT_EQ(control.out.find(std::string(" ") + script), std::string::npos)
            << script << control.out;
    }
}

TEST_F(Package, LintianReportsNoError) {
    if (!HaveProgram("lintian")) {
        GTEST_SKIP() << "lintian is not installed";
    }
    for (const std::string& deb : Debs()) {
        SCOPED_TRACE(deb);
        const test::RunResult checked = Shell("lintian --tag-display-limit 0 " + ShellQuote(deb));
        for (std::size_t at = 0; at < checked.out.size();) {
            const auto end = checked.out.find('\n', at);
            const std::string line = checked.out.substr(at, end - at);
            EXPECT_NE(line.rfind("E: ", 0), 0u) << line;
            at = end == std::string::npos ? checked.out.size() : end + 1;
        }
        EXPECT_TRUE(checked.exitCode == 0 || checked.out.find("E: ") == std::string::npos)
            << checked.out << checked.err;
    }
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

// The rule run as polkitd runs it, with polkit.spawn running the package's own helper: a copy
// with a test map beside it, as the installed helper reads the map beside itself.
TEST_F(Package, PolkitRuleGrantsTheGroupOnlyTheMappedUnits) {
    if (!kWithUi) {
        GTEST_SKIP() << "no desktop package: the polkit rule comes with it";
    }
    if (!HaveProgram("node")) {
        GTEST_SKIP() << "node is not installed: the polkit rule was not evaluated";
    }
    if (::geteuid() != 0) {
        GTEST_SKIP() << "the helper trusts only a map of root's, which only root can make here";
    }
    const std::string rule = Installed("/usr/share/polkit-1/rules.d/50-tolvane.rules");
    // node takes only known extensions.
    const std::string copy = work_->File("50-tolvane.js");
    fs::copy_file(rule, copy, fs::copy_options::overwrite_existing);
    const test::RunResult parsed = Shell("node --check " + ShellQuote(copy));
    EXPECT_EQ(parsed.exitCode, 0) << parsed.err;

    const std::string bin = work_->File("polkit-bin");
    fs::create_directories(bin);
    const std::string helper = bin + "/tolvane-mapped-unit";
    fs::copy_file(Installed("/opt/tolvane/bin/tolvane-mapped-unit"), helper,
                  fs::copy_options::overwrite_existing);
    WriteFile(bin + "/services.conf",
              "w3svc = nginx\n"
              "iisadmin = apache2.service\n"
              "msftpsvc.start = systemctl start vsftpd\n"
              "msftpsvc.stop = systemctl stop vsftpd\n"
              "mtxstop = systemctl restart cron\n");

    const std::string script = work_->File("rule-cases.js");
    WriteFile(script, R"js(
const { spawnSync } = require("child_process");
const [rulePath, installed, helper] = process.argv.slice(2);
const rules = [];
const spawned = [];
const polkit = {
  Result: { YES: "yes", NO: "no", AUTH_ADMIN: "auth_admin", NOT_HANDLED: undefined },
  addRule: (rule) => rules.push(rule),
  log: () => {},
  // As polkitd: the program's output, or an exception when it does not end with status 0.
  spawn: (argv) => {
    spawned.push(argv);
    const program = argv[0] === installed ? helper : argv[0];
    const run = spawnSync(program, argv.slice(1), { encoding: "utf8", timeout: 10000 });
    if (run.error || run.status !== 0) {
      throw new Error(`${argv[0]} ended with ${run.status}: ${run.stderr}`);
    }
    return run.stdout;
  },
};
eval(require("fs").readFileSync(rulePath, "utf8"));
const manage = "org.freedesktop.systemd1.manage-units";
const cases = [
  [manage, "start", "nginx.service", ["tolvane"], "yes"],
  [manage, "stop", "nginx.service", ["users", "tolvane"], "yes"],
  [manage, "restart", "nginx.service", ["tolvane"], "yes"],
  [manage, "start", "apache2.service", ["tolvane"], "yes"],
  [manage, "stop", "cron.service", ["tolvane"], undefined],
  [manage, "start", "poweroff.target", ["tolvane"], undefined],
  [manage, "stop", "dbus.socket", ["tolvane"], undefined],
  [manage, "stop", "polkit.service", ["tolvane"], undefined],
  [manage, "start", "vsftpd.service", ["tolvane"], undefined],
  [manage, "start", "w3svc.service", ["tolvane"], undefined],
  [manage, "start", "--help", ["tolvane"], undefined],
  [manage, "start", "nginx.service --help", ["tolvane"], undefined],
  [manage, "start", undefined, ["tolvane"], undefined],
  [manage, "start", "nginx.service", ["users"], undefined],
  [manage, "reload", "nginx.service", ["tolvane"], undefined],
  ["org.freedesktop.systemd1.manage-unit-files", undefined, "nginx.service", ["tolvane"], undefined],
  ["org.freedesktop.systemd1.set-environment", undefined, undefined, ["tolvane"], undefined],
  ["org.freedesktop.login1.reboot", undefined, undefined, ["tolvane"], undefined],
  ["org.freedesktop.policykit.exec", undefined, undefined, ["tolvane"], undefined],
];
let failed = 0;
for (const [id, verb, unit, groups, want] of cases) {
  const details = { verb, unit };
  const action = { id, lookup: (key) => details[key] };
  const subject = { user: "someone", isInGroup: (g) => groups.includes(g), local: true,
                    active: true };
  let got;
  for (const rule of rules) { got = rule(action, subject); if (got !== undefined) break; }
  if (got !== want) { console.log(`${id} ${verb} ${unit} ${groups}: ${got}, want ${want}`); failed++; }
}
// The helper was asked with the unit as its one argument, by its installed path.
if (!spawned.some((argv) => argv.length === 2 && argv[0] === installed &&
                            argv[1] === "nginx.service --help")) {
  console.log(`not spawned as expected: ${JSON.stringify(spawned)}`);
  failed++;
}
process.exit(rules.length === 1 && failed === 0 ? 0 : 1);
)js");
    const test::RunResult evaluated =
        Shell("node " + ShellQuote(script) + " " + ShellQuote(rule) +
              " /opt/tolvane/bin/tolvane-mapped-unit " + ShellQuote(helper));
    EXPECT_EQ(evaluated.exitCode, 0) << evaluated.out << evaluated.err;
}

// The maintainer scripts on a real system: this machine's own, through an overlay in a mount
// namespace of the test's own, so that everything dpkg does vanishes with it. An administrator's
// "systemctl enable" survives a remove (the unit masked meanwhile) and a reinstall; a purge
// leaves no link and no state of the unit.
TEST_F(Package, PurgeLeavesNoUnitLink) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can mount the overlay the packages are installed into";
    }
    if (!HaveProgram("unshare") || !HaveProgram("deb-systemd-helper") ||
        !HaveProgram("systemctl")) {
        GTEST_SKIP() << "unshare, deb-systemd-helper or systemctl is missing";
    }
    // Each step, then what is left of the unit.
    const std::string steps = R"sh(
set -e
export PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8
state() {
    echo "== $1"
    find /etc/systemd/system -name 'tolvane-monitor.service' | sort | while read -r link; do
        case "$(readlink "$link")" in
            /dev/null) echo "$link -> /dev/null" ;;
            */tolvane-monitor.service) echo "$link -> the unit" ;;
            *) echo "$link -> $(readlink "$link")" ;;
        esac
    done
    find /var/lib/systemd/deb-systemd-helper-enabled /var/lib/systemd/deb-systemd-helper-masked \
        -name 'tolvane-monitor.service*' 2>/dev/null | sort
    [ ! -e /var/log/tolvane ] || echo "/var/log/tolvane"
    [ ! -e /etc/tolvane ] || echo "/etc/tolvane"
}
quiet() { "$@" >/tmp/step.out 2>&1 || { cat /tmp/step.out; exit 1; }; }
state before
quiet dpkg -i /debs/*.deb
state installed
quiet systemctl enable tolvane-monitor.service
state enabled
quiet dpkg --remove iis-tolvane-desktop iis-tolvane
state removed
quiet dpkg -i /debs/*.deb
state reinstalled
quiet dpkg --purge iis-tolvane-desktop iis-tolvane
state purged
)sh";
    const test::RunResult ran = InOverlayChroot(steps);
    if (ran.exitCode == kNoOverlay) {
        GTEST_SKIP() << "the overlay over / cannot be mounted here: " << ran.err;
    }
    EXPECT_EQ(ran.exitCode, 0) << ran.out << ran.err;
    const std::string wants = "/etc/systemd/system/multi-user.target.wants/tolvane-monitor.service";
    const std::string mask = "/etc/systemd/system/tolvane-monitor.service";
    const std::string enabled = "/var/lib/systemd/deb-systemd-helper-enabled/";
    const std::string masked = "/var/lib/systemd/deb-systemd-helper-masked/tolvane-monitor.service";
    EXPECT_EQ(ran.out,
              "== before\n"
              "== installed\n" +
                  enabled +
                  "tolvane-monitor.service.dsh-also\n"
                  "/var/log/tolvane\n/etc/tolvane\n"
                  "== enabled\n" +
                  wants + " -> the unit\n" + enabled +
                  "tolvane-monitor.service.dsh-also\n"
                  "/var/log/tolvane\n/etc/tolvane\n"
                  "== removed\n" +
                  wants + " -> the unit\n" + mask + " -> /dev/null\n" + enabled +
                  "tolvane-monitor.service.dsh-also\n" + masked +
                  "\n/var/log/tolvane\n/etc/tolvane\n"
                  "== reinstalled\n" +
                  wants + " -> the unit\n" + enabled +
                  "multi-user.target.wants/tolvane-monitor.service\n" + enabled +
                  "tolvane-monitor.service.dsh-also\n"
                  "/var/log/tolvane\n/etc/tolvane\n"
                  "== purged\n")
        << ran.err;
}

// The rule in this machine's own polkitd, on a system bus of its own in the overlay: a member of
// the group and another user ask for units through pkcheck, as systemd asks for systemctl.
TEST_F(Package, RealPolkitdGrantsTheGroupOnlyTheMappedUnits) {
    if (!kWithUi) {
        GTEST_SKIP() << "no desktop package: the polkit rule comes with it";
    }
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can mount the overlay the packages are installed into";
    }
    if (!HaveProgram("unshare") || !HaveProgram("dbus-daemon") || !HaveProgram("pkcheck") ||
        !fs::exists("/usr/lib/polkit-1/polkitd")) {
        GTEST_SKIP() << "unshare, dbus-daemon, pkcheck or polkitd is missing";
    }
    const std::string steps = R"sh(
export PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8
dpkg -i /debs/*.deb >/tmp/dpkg.out 2>&1 || { cat /tmp/dpkg.out; exit 1; }
printf 'w3svc = nginx\nmsftpsvc.start = systemctl start vsftpd\n' >/etc/tolvane/services.conf
useradd -G tolvane member && useradd outsider || exit 1
mkdir -p /run/dbus && dbus-daemon --system --fork || exit 1
/usr/lib/polkit-1/polkitd --no-debug >/tmp/polkitd.out 2>&1 &
# Bounded waits for the service on the bus and for the subjects to be their users.
owned() {
    dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.PolicyKit1 2>/dev/null |
        grep -q 'boolean true'
}
tries=0
until owned; do
    tries=$((tries + 1)); [ $tries -lt 300 ] || { echo "no polkitd"; cat /tmp/polkitd.out; exit 1; }
    sleep 0.1
done
for user in member outsider; do
    setpriv --reuid=$user --regid=$user --init-groups sleep 600 &
    eval "$user=$!"
    tries=0
    until [ "$(stat -c %U /proc/$!)" = $user ]; do
        tries=$((tries + 1)); [ $tries -lt 300 ] || { echo "no $user"; exit 1; }
        sleep 0.1
    done
done
ask() {
    eval "pid=\$$1"
    pkcheck --action-id org.freedesktop.systemd1.manage-units --process "$pid" \
        --detail verb "$2" --detail unit "$3" >/dev/null 2>&1
    echo "$1 $2 $3: $?"
}
ask member start nginx.service
ask member stop nginx.service
ask member restart nginx.service
ask member reload nginx.service
ask member start vsftpd.service
ask member stop cron.service
ask member start poweroff.target
ask member stop dbus.socket
ask outsider start nginx.service
)sh";
    const test::RunResult ran = InOverlayChroot(steps);
    if (ran.exitCode == kNoOverlay) {
        GTEST_SKIP() << "the overlay over / cannot be mounted here: " << ran.err;
    }
    EXPECT_EQ(ran.exitCode, 0) << ran.out << ran.err;
    // pkcheck: 0 authorized, 2 only with a password (the defaults' auth_admin).
    EXPECT_EQ(ran.out,
              "member start nginx.service: 0\n"
              "member stop nginx.service: 0\n"
              "member restart nginx.service: 0\n"
              "member reload nginx.service: 2\n"
              "member start vsftpd.service: 2\n"
              "member stop cron.service: 2\n"
              "member start poweroff.target: 2\n"
              "member stop dbus.socket: 2\n"
              "outsider start nginx.service: 2\n")
        << ran.err;
}

}  // namespace
}  // namespace tolvane
