// tolvanectl set/settings for the mail's TLS values and the SMTP password: the password from
// standard input through a real pipe and a real pseudo-terminal, kept in its own file, never
// printed.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/PosixSupport.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

using test::ReadFile;
using test::RunResult;
using test::ShellQuote;

class Install : public test::PrivateInstall {
public:
    Install() : PrivateInstall(TOLVANE_BIN_DIR, {"tolvanectl"}) {}

    std::string Password() const { return dir.File("store/HKEY_CLASSES_ROOT.SmtpPassword"); }

    // tolvanectl with the text on its standard input, through a pipe.
    RunResult RunWithInput(const std::vector<std::string>& args, const std::string& input) const {
        test::TestChild child;
        EXPECT_TRUE(child.Start(std::vector<std::string>{
            "sh", "-c", "printf %s " + ShellQuote(input) + " | " + Command(args)}));
        const ExitState state = child.WaitForEnd("tolvanectl with input");
        return RunResult{state.exitCode, ReadFile(dir.File("out")), ReadFile(dir.File("err"))};
    }

    // The line `settings` prints for the password.
    std::string PasswordLine() const {
        const std::string shown = Run({"settings"}).out;
        const auto at = shown.find("\nSmtpPassword=");
        return at == std::string::npos ? "(none)"
                                       : shown.substr(at + 1, shown.find('\n', at + 1) - at - 1);
    }
};

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// The new values are refused as the other added values are: exit 2, one line naming the value
// and its rule, nothing written; their accepted forms are stored and printed.
TEST(TolvanectlSecret, SetTakesAndRefusesTheMailSecurityValues) {
    const std::string fingerprint =
        "empty, or a SHA-256 fingerprint: 64 hex digits, pairs optionally separated by colons";
    const std::string oneLine = "one line without control characters";
    const std::string hex64(64, 'a');
    std::string colons;
    for (int i = 0; i < 32; ++i) {
        colons += (i == 0 ? "" : ":") + std::string("Ab");
    }
    struct Case {
        std::string assignment;
        std::string refusal;  // empty: accepted, and printed as it was given
    };
    const Case cases[] = {
        {"SmtpSecurity=none", ""},
        {"SmtpSecurity=starttls", ""},
        {"SmtpSecurity=tls", ""},
        {"SmtpSecurity=TLS", "SmtpSecurity: must be none, starttls or tls"},
        {"SmtpSecurity=ssl", "SmtpSecurity: must be none, starttls or tls"},
        {"SmtpSecurity=", "SmtpSecurity: must be none, starttls or tls"},
        {"SmtpVerify=full", ""},
        {"SmtpVerify=fingerprint", ""},
        {"SmtpVerify=none", ""},
        {"SmtpVerify=off", "SmtpVerify: must be full, fingerprint or none"},
        {"SmtpFingerprint=" + hex64, ""},
        {"SmtpFingerprint=" + colons, ""},
        {"SmtpFingerprint=", ""},
        {"SmtpFingerprint=" + hex64.substr(1), "SmtpFingerprint: must be " + fingerprint},
        {"SmtpFingerprint=" + hex64.substr(1) + "g", "SmtpFingerprint: must be " + fingerprint},
        {"SmtpFingerprint=:" + colons, "SmtpFingerprint: must be " + fingerprint},
        {"SmtpUser=watchdog@example.jp", ""},
        {"SmtpUser=管理者", ""},
        {"SmtpUser=a\\r\\nRCPT TO:<x>", "SmtpUser: must be " + oneLine},
        {"SmtpTokenCommand=/usr/bin/oauth2-token --account mail", ""},
        {"SmtpTokenCommand=a\\nb", "SmtpTokenCommand: must be " + oneLine},
        {"CheckTls=1", ""},
        {"CheckTls=0", ""},
        {"CheckTls=2", "CheckTls: Please enter an integer between 0 and 1."},
        {"CheckTls=yes", "CheckTls: Please enter a positive integer."},
        {"CheckVerify=none", ""},
        {"CheckVerify=full", ""},
        {"CheckVerify=fingerprint", ""},
        {"CheckVerify=strict", "CheckVerify: must be none, full or fingerprint"},
        {"CheckFingerprint=" + colons, ""},
        {"CheckFingerprint=sha256", "CheckFingerprint: must be " + fingerprint},
    };
    Install install;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.assignment);
        const std::string before = ReadFile(install.Store());
        // A good value beside a bad one is not written either.
        const RunResult result = install.Run({"set", "SmtpPort=587", c.assignment});
        if (c.refusal.empty()) {
            EXPECT_EQ(result.exitCode, 0) << result.err;
            EXPECT_NE(("\n" + install.Run({"settings"}).out).find("\n" + c.assignment + "\n"),
                      std::string::npos);
        } else {
            EXPECT_EQ(result.exitCode, 2);
            EXPECT_EQ(result.err, "tolvanectl: " + c.refusal + "\n");
            EXPECT_EQ(ReadFile(install.Store()), before);
        }
    }
}

TEST(TolvanectlSecret, PasswordFromAPipeIsStoredApartAndNeverPrinted) {
    Install install;
    EXPECT_EQ(install.PasswordLine(), "SmtpPassword=");
    const std::string password = "c0rrect horse\\battery";
    const mode_t umask = ::umask(0);
    const RunResult set =
        install.RunWithInput({"set", "SmtpUser=watchdog", "SmtpPassword=-"}, password + "\r\n");
    ::umask(umask);
    ASSERT_EQ(set.exitCode, 0) << set.err;
    // No prompt where nobody types.
    EXPECT_EQ(set.err, "");
    EXPECT_EQ(ReadFile(install.Password()), password);
    EXPECT_EQ(ModeOf(install.Password()), 0600u);
    EXPECT_EQ(ReadFile(install.Store()).find("horse"), std::string::npos);

    const RunResult shown = install.Run({"settings"});
    EXPECT_NE(shown.out.find("\nSmtpUser=watchdog\nSmtpPassword=(set)\nSmtpTokenCommand=\n"),
              std::string::npos)
        << shown.out;
    EXPECT_EQ(shown.out.find("horse"), std::string::npos);

    // Only the password: the settings are not rewritten.
    const std::string store = ReadFile(install.Store());
    ASSERT_EQ(install.RunWithInput({"set", "SmtpPassword=-"}, "second").exitCode, 0);
    EXPECT_EQ(ReadFile(install.Password()), "second");
    EXPECT_EQ(ReadFile(install.Store()), store);

    const RunResult removed = install.Run({"set", "SmtpPassword="});
    EXPECT_EQ(removed.exitCode, 0) << removed.err;
    EXPECT_EQ(::access(install.Password().c_str(), F_OK), -1);
    EXPECT_EQ(install.PasswordLine(), "SmtpPassword=");
}

// A password in the arguments is refused before anything is read or written, as is input that
// holds none.
TEST(TolvanectlSecret, SetRefusesAPasswordItCannotKeepSecret) {
    Install install;
    ASSERT_EQ(install.RunWithInput({"set", "SmtpPassword=-"}, "kept\n").exitCode, 0);
    const std::string store = ReadFile(install.Store());
    const std::string commandLine =
        "SmtpPassword: a password on the command line is seen in the process list and kept in "
        "the shell's history; give SmtpPassword=- and type it, or pipe it in";
    struct Case {
        std::vector<std::string> args;
        std::string input;
        std::string refusal;
    };
    const Case cases[] = {
        {{"set", "Port=81", "SmtpPassword=hunter2"}, "", commandLine},
        {{"set", "SmtpPassword=--"}, "", commandLine},
        {{"set", "SmtpPassword=-", "SmtpPassword="}, "x\n", "SmtpPassword is given twice"},
        {{"set", "Port=81", "SmtpPassword=-"},
         "",
         "SmtpPassword: no password was read from "
         "standard input"},
        {{"set", "Port=81", "SmtpPassword=-"},
         "\n",
         "SmtpPassword: the password read is empty; SmtpPassword= (empty) removes it"},
        // Checked before the input is read: nothing is taken from it.
        {{"set", "SmtpPassword=-", "Port=70000"},
         "new\n",
         "Port: Please enter an integer between 0 and 65535."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const RunResult result = install.RunWithInput(c.args, c.input);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.err, "tolvanectl: " + c.refusal + "\n");
        EXPECT_EQ(ReadFile(install.Password()), "kept");
        EXPECT_EQ(ReadFile(install.Store()), store);
    }
}

TEST(TolvanectlSecret, SettingsSaysWhyAPasswordFileIsRefused) {
    Install install;
    ASSERT_EQ(install.RunWithInput({"set", "SmtpPassword=-"}, "kept\n").exitCode, 0);
    ASSERT_EQ(::chmod(install.Password().c_str(), 0644), 0);
    EXPECT_EQ(install.PasswordLine(),
              "SmtpPassword=(refused: the file " + install.Password() +
                  " is refused: group or others have access to it (mode 0644); it must be a "
                  "regular file of yours or root's that only its owner may read and write "
                  "(chmod 600))");
}

// What the pseudo-terminal shows until the text appears or the child's side closes; the bound
// only keeps a broken program from hanging the test.
std::string ReadUntil(int master, const std::string& text) {
    std::string shown;
    for (int idle = 0; shown.find(text) == std::string::npos && idle < 600;) {
        pollfd ready{master, POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0) {
            ++idle;
            continue;
        }
        char buffer[256];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) {
            break;  // EIO: nothing holds the terminal's other side any more
        }
        shown.append(buffer, static_cast<std::size_t>(n));
    }
    return shown;
}

// Typed at a terminal, the password is asked for on it and does not show.
TEST(TolvanectlSecret, PasswordTypedAtATerminalIsNotEchoed) {
    Install install;
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setenv("LC_ALL", "C.UTF-8", 1);
        const std::string program = install.Bin("tolvanectl");
        ::execl(program.c_str(), program.c_str(), "set", "SmtpPassword=-", nullptr);
        ::_exit(127);
    }
    std::string shown = ReadUntil(master, "SmtpPassword: ");
    EXPECT_NE(shown.find("SmtpPassword: "), std::string::npos) << shown;
    const std::string typed = "typed-s3cret\n";
    ASSERT_EQ(::write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    shown += ReadUntil(master, "\x04never");
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    ::close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
    EXPECT_EQ(shown.find("typed-s3cret"), std::string::npos) << shown;
    EXPECT_EQ(ReadFile(install.Password()), "typed-s3cret");
}

}  // namespace
}  // namespace tolvane
