// The mail without an SMTP server: the script, its command line, the CSCRIPT.EXE stand-in and
// a recording sendmail, all as real files and processes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

#include "mail/JisEncoder.h"
#include "mail/MailTexts.h"
#include "mail/ScriptMailer.h"
#include "mail/SendNotificationMail.h"
#include "os/Process.h"
#include "tests/mail/MailTestSupport.h"
#include "tests/support/PosixSupport.h"
#include "text/CommandLine.h"
#include "text/Cp932.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Cp932;
using test::ReadFile;
using test::WriteFile;

// What the recording sendmail received: its arguments, the script present while it ran and
// the mail on its standard input.
struct Handed {
    std::vector<std::string> args;
    std::string script;
    std::map<std::string, std::string> headers;  // the first line of each header, by name
    std::string subject;                         // UTF-8, decoded
    std::string body;                            // UTF-8, decoded
    bool present = false;
};

class ScriptMailerTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = fs::current_path();
        fs::current_path(dir.Path());
        WriteFile(dir.File("sendmail"),
                  "#!/bin/sh\n"
                  "d=\"$FAKE_SENDMAIL_DIR\"\n"
                  "printf '%s\\n' \"$@\" > \"$d/args\"\n"
                  "if [ -f S.VBS ]; then cat S.VBS > \"$d/script\"; fi\n"
                  "cat > \"$d/mail\"\n"
                  "exit ${FAKE_SENDMAIL_EXIT:-0}\n");
        fs::permissions(dir.File("sendmail"), fs::perms(0755));
        ::setenv("FAKE_SENDMAIL_DIR", dir.Path().c_str(), 1);
        ::setenv("TOLVANE_SENDMAIL", dir.File("sendmail").c_str(), 1);
        ::unsetenv("FAKE_SENDMAIL_EXIT");
    }
    void TearDown() override {
        fs::current_path(previous_);
        ::unsetenv("TOLVANE_SENDMAIL");
        ::unsetenv("TOLVANE_SENDMAIL_TIMEOUT");
    }

    Handed Received() const {
        Handed handed;
        handed.present = fs::exists(dir.File("mail"));
        std::string args = ReadFile(dir.File("args"));
        for (std::size_t at = 0; at < args.size();) {
            const auto end = args.find('\n', at);
            handed.args.push_back(args.substr(at, end - at));
            at = end + 1;
        }
        handed.script = ReadFile(dir.File("script"));
        const std::string mail = ReadFile(dir.File("mail"));
        const auto split = mail.find("\n\n");
        std::string head = mail.substr(0, split);
        for (std::size_t at = 0; at < head.size();) {
            const auto end = head.find('\n', at);
            const std::string line = head.substr(at, end - at);
            const auto colon = line.find(": ");
            if (line[0] != ' ' && colon != std::string::npos) {
                handed.headers[line.substr(0, colon)] = line.substr(colon + 2);
            }
            at = end == std::string::npos ? head.size() : end + 1;
        }
        const auto subject = head.find("Subject: ");
        handed.subject =
            subject == std::string::npos ? "" : test::DecodeSubject(head.substr(subject));
        handed.body = split == std::string::npos ? "" : test::JisToUtf8(mail.substr(split + 2));
        return handed;
    }

    test::TempDir dir;

private:
    fs::path previous_;
};

TEST_F(ScriptMailerTest, ScriptAndCommandLineAreBuiltFromTheirPieces) {
    const std::string& script = ScriptMailer::ScriptText();
    EXPECT_EQ(script.rfind("Option Explicit: On Error Resume Next: Dim S, G, N, T, F, J, B: ", 0),
              0u);
    EXPECT_NE(script.find(R"(Case "/t":: N=N+1: T=G(N): Case "/f":: N=N+1: F=G(N): )"),
              std::string::npos);
    // The script says what happened once it has tried: its host ends with 0 whatever failed.
    EXPECT_NE(script.find("Err.Clear: Set S=CreateObject(\"CDONTS.NewMail\")\r\n"
                          "If Not IsObject(S) Then WScript.Quit 12\r\n"
                          "S.From=F: S.To=T: S.Subject=J: S.Body=B: S.Send\r\n"
                          "If Err.Number <> 0 Then WScript.Quit 11\r\n"
                          "Set S=Nothing: WScript.Quit 10\r\n"),
              std::string::npos);
    EXPECT_TRUE(script.ends_with("WScript.Quit 10\r\n"));

    EXPECT_EQ(ScriptMailer::CommandLine("S.VBS", "me@x", "a@x; b@y", Cp932("件名"),
                                        Cp932("本文\r\n二行目")),
              "CSCRIPT.EXE \"S.VBS\" /f \"me@x\" /t \"a@x; b@y\" /s \"" + Cp932("件名") +
                  "\" /b \"" + Cp932("本文\r\n二行目") + "\"");
}

// Quotes and backslashes are escaped so that the script host reads back every text as given;
// a quote can never end a text early and add options of its own, a blank never cuts one.
TEST_F(ScriptMailerTest, CommandLineGivesEveryTextBackUnchanged) {
    const std::string hyou = Cp932("表");  // its second byte is 0x5C, no backslash
    const std::string lone = "\x82";       // a lead byte without its second byte
    const std::vector<std::string> texts = {
        "x\" /t evil@attacker /s \"y",
        "C:\\dir\\",
        "C:\\dir\\\\",
        "\"",
        "\"\"",
        "\\\"",
        "\\\\\"",
        "a\\\"b\\\\\"c",
        "\\",
        "end\" ",
        "a@x; b@y",
        " ",
        "",
        hyou,
        hyou + "\"",
        hyou + "\\",
        lone + "\"",
        lone + "\\\"",
        "\"" + lone,
        "line\r\n\"quoted\" line\\\r\n",
    };
    const std::string script = "C:\\ProgramData\\IIS Tolvane\\S.VBS";
    for (const auto& text : texts) {
        SCOPED_TRACE(text);
        // A lone lead byte is no character; it would swallow the backslash of a \" after it.
        std::string read = text;
        for (std::size_t i = 0; i < read.size(); ++i) {
            if (read[i] == lone[0] &&
                (i + 1 == read.size() || !IsCp932TrailByte(static_cast<unsigned char>(read[i + 1])))) {
                read[i] = '?';
            }
        }
        EXPECT_EQ(SplitCommandLine(ScriptMailer::CommandLine(script, text, text, text, text)),
                  (std::vector<std::string>{"CSCRIPT.EXE", script, "/f", read, "/t", read, "/s",
                                            read, "/b", read}));
    }
    // Texts without quotes and backslashes before them stand as they are.
    EXPECT_EQ(ScriptMailer::CommandLine("S.VBS", "me@x", "to@y", "C:\\dir " + hyou, "a\\b"),
              "CSCRIPT.EXE \"S.VBS\" /f \"me@x\" /t \"to@y\" /s \"C:\\dir " + hyou +
                  "\" /b \"a\\b\"");
}

TEST_F(ScriptMailerTest, QuotesAndBackslashesReachSendmailUnchanged) {
    const struct {
        std::string subject;
        std::string body;
    } cases[] = {
        {"y", "x\" /t evil@attacker /s \"y"},
        {"C:\\dir\\", "C:\\dir\\"},
        {"\"引用\" \\", "\\\"\\\\\"\\"},
        {"a\\\"b", "一行目\"\r\n二行目\\\r\n\\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        std::string reason;
        ASSERT_EQ(
            SendNotificationMail("me@x", "to@y", Cp932(c.subject), Cp932(c.body), "", 25, reason),
            1)
            << test::Utf8(reason);
        const Handed handed = Received();
        EXPECT_EQ(handed.headers.at("From"), "me@x");
        EXPECT_EQ(handed.headers.at("To"), "to@y");
        EXPECT_EQ(handed.subject, c.subject);
        std::string body = c.body;
        for (auto at = body.find("\r\n"); at != std::string::npos; at = body.find("\r\n", at)) {
            body.replace(at, 2, "\n");
        }
        EXPECT_EQ(handed.body, body + "\n");
    }
}

// Whatever stands under the name S.VBS that is not a plain file of the user's is neither
// written through nor run nor removed, and nothing blocks on it.
TEST_F(ScriptMailerTest, PlantedScriptIsNeitherFollowedNorRun) {
    const std::string script = dir.File("S.VBS");
    const std::string target = dir.File("target");
    const struct {
        const char* what;
        std::function<void()> plant;
        bool needsRoot;
    } cases[] = {
        {"a link to a file",
         [&] {
             WriteFile(target, "precious");
             fs::create_symlink(target, script);
         },
         false},
        {"a link to nothing", [&] { fs::create_symlink(target, script); }, false},
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(script.c_str(), 0666), 0); }, false},
        {"a second name of a file",
         [&] {
             WriteFile(target, "precious");
             fs::create_hard_link(target, script);
         },
         false},
        {"another user's file",
         [&] {
             WriteFile(script, "precious");
             ASSERT_EQ(::chown(script.c_str(), 65534, 65534), 0);
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsRoot && ::geteuid() != 0) {
            continue;  // only root can give a file to another user
        }
        fs::remove(script);
        fs::remove(target);
        c.plant();
        const auto planted = fs::symlink_status(script).type();
        std::string reason;
        EXPECT_EQ(SendNotificationMail("me@x", "to@y", "s", "b", "", 25, reason), 0);
        EXPECT_EQ(test::Utf8(reason), "スクリプトを実行できませんでした。");
        EXPECT_FALSE(Received().present);
        EXPECT_EQ(fs::symlink_status(script).type(), planted);
        if (fs::is_regular_file(fs::symlink_status(script))) {
            EXPECT_EQ(ReadFile(script), "precious");
        }
        if (fs::exists(fs::symlink_status(target))) {
            EXPECT_EQ(ReadFile(target), "precious");
        } else {
            EXPECT_FALSE(fs::exists(fs::symlink_status(target))) << "created through the link";
        }
    }
}

// A mail transfer agent that never ends is ended after the bound (SIGTERM, then SIGKILL for
// one that ignores it), and the mail is reported as not sent.
TEST_F(ScriptMailerTest, SendmailThatNeverEndsIsEndedAfterTheBound) {
    ::setenv("TOLVANE_SENDMAIL_TIMEOUT", "1", 1);
    // Each writes the pid of what must be gone afterwards.
    const struct {
        const char* what;
        const char* script;
        std::string body;
    } cases[] = {
        {"ends on SIGTERM", "echo $$ > \"$FAKE_SENDMAIL_DIR/pid\"; exec sleep 1000", "b"},
        {"ignores SIGTERM", "echo $$ > \"$FAKE_SENDMAIL_DIR/pid\"; trap '' TERM; exec sleep 1000",
         "b"},
        {"waits for a child of its own", "sleep 1000 & echo $! > \"$FAKE_SENDMAIL_DIR/pid\"; wait",
         "b"},
        {"reads nothing of a long mail", "echo $$ > \"$FAKE_SENDMAIL_DIR/pid\"; exec sleep 1000",
         std::string(100000, 'x')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(dir.File("pid"));
        WriteFile(dir.File("stuck"), std::string("#!/bin/sh\n") + c.script + "\n");
        fs::permissions(dir.File("stuck"), fs::perms(0755));
        ::setenv("TOLVANE_SENDMAIL", dir.File("stuck").c_str(), 1);
        std::string reason;
        EXPECT_EQ(SendNotificationMail("me@x", "to@y", "s", c.body, "", 25, reason), 0);
        EXPECT_EQ(test::Utf8(reason), "スクリプトを実行できませんでした。");
        const pid_t pid = std::atoi(ReadFile(dir.File("pid")).c_str());
        ASSERT_GT(pid, 0);
        // An ended orphan may stay a zombie until whoever adopted it reaps it.
        auto gone = [pid] {
            const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
            const auto paren = stat.rfind(')');
            return stat.empty() ||
                   (paren != std::string::npos && stat.compare(paren, 4, ") Z ") == 0);
        };
        EXPECT_TRUE(test::WaitUntil(gone, 10s)) << "the stuck sendmail is still there";
        EXPECT_FALSE(fs::exists(dir.File("S.VBS")));
    }
}

TEST_F(ScriptMailerTest, HandsTheMailToSendmailAndRemovesTheScript) {
    std::string reason;
    EXPECT_EQ(SendNotificationMail("me@x", "a@x;b@y", Cp932("再起動のお知らせ"),
                                   Cp932("本文です。\r\n二行目"), "", 25, reason),
              1);
    EXPECT_EQ(reason, "");
    const Handed handed = Received();
    ASSERT_TRUE(handed.present);
    EXPECT_EQ(handed.args, (std::vector<std::string>{"-t", "-i"}));
    EXPECT_EQ(handed.script, ScriptMailer::ScriptText());
    EXPECT_EQ(handed.headers.at("From"), "me@x");
    EXPECT_EQ(handed.headers.at("To"), "a@x, b@y");
    EXPECT_EQ(handed.headers.at("MIME-Version"), "1.0");
    EXPECT_EQ(handed.headers.at("Content-Type"), "text/plain; charset=ISO-2022-JP");
    EXPECT_EQ(handed.headers.count("Date"), 1u);
    EXPECT_EQ(handed.subject, "再起動のお知らせ");
    EXPECT_EQ(handed.body, "本文です。\n二行目\n");
    EXPECT_FALSE(fs::exists(dir.File("S.VBS")));
}

// Every argument is quoted: a blank cuts neither the sender nor the recipients, and the second
// recipient of "a@x; b@y" is not lost.
TEST_F(ScriptMailerTest, BlanksStayInSenderAndRecipients) {
    std::string reason;
    EXPECT_EQ(SendNotificationMail("Me <me@x>", "a@x; b@y", "s", "b", "", 25, reason), 1);
    const Handed handed = Received();
    EXPECT_EQ(handed.headers.at("From"), "Me <me@x>");
    EXPECT_EQ(handed.headers.at("To"), "a@x, b@y");
}

// Options as the script reads them: any case, the later one wins, a value-less option at the
// end and unknown arguments change nothing.
TEST_F(ScriptMailerTest, StandInReadsOptionsAsTheScriptDoes) {
    WriteFile("S.VBS", ScriptMailer::ScriptText());
    ChildProcess child;
    ASSERT_TRUE(child.Start(std::vector<std::string>{
        "CSCRIPT.EXE", "S.VBS", "junk", "/F", "first@x", "/f", "second@x", "/T", "to@y", "/S",
        Cp932("件名"), "/B", Cp932("本文"), "/x", "/t"}));
    EXPECT_EQ(test::WaitForEnd(child, "the stand-in CSCRIPT.EXE").exitCode, ScriptMailer::kSent);
    const Handed handed = Received();
    EXPECT_EQ(handed.headers.at("From"), "second@x");
    EXPECT_EQ(handed.headers.at("To"), "to@y");
    EXPECT_EQ(handed.subject, "件名");
    EXPECT_EQ(handed.body, "本文\n");
}

TEST_F(ScriptMailerTest, StandInFailsWithoutItsScript) {
    ChildProcess child;
    ASSERT_TRUE(child.Start(std::vector<std::string>{"CSCRIPT.EXE", "S.VBS", "/t", "to@y"}));
    EXPECT_NE(test::WaitForEnd(child, "the stand-in CSCRIPT.EXE").exitCode, 0);
    EXPECT_FALSE(Received().present);
}

// The mended truth: a script host that cannot hand the mail over is reported.
TEST_F(ScriptMailerTest, MissingOrFailingSendmailIsAFailure) {
    for (bool missing : {true, false}) {
        if (missing) {
            ::setenv("TOLVANE_SENDMAIL", dir.File("no-such-sendmail").c_str(), 1);
        } else {
            ::setenv("TOLVANE_SENDMAIL", dir.File("sendmail").c_str(), 1);
            ::setenv("FAKE_SENDMAIL_EXIT", "75", 1);
        }
        std::string reason;
        EXPECT_EQ(SendNotificationMail("me@x", "to@y", "s", "b", "", 25, reason), 0);
        EXPECT_EQ(test::Utf8(reason), "スクリプトを実行できませんでした。");
        EXPECT_FALSE(fs::exists(dir.File("S.VBS")));
    }
}

// A folder named S.VBS can be neither written nor deleted: the script host finds no script and
// the failure is reported; the folder stays.
TEST_F(ScriptMailerTest, UnwritableScriptIsReported) {
    fs::create_directory(dir.File("S.VBS"));
    std::string reason;
    EXPECT_EQ(SendNotificationMail("me@x", "to@y", "s", "b", "", 25, reason), 0);
    EXPECT_EQ(test::Utf8(reason), "スクリプトを実行できませんでした。");
    EXPECT_TRUE(fs::is_directory(dir.File("S.VBS")));
    EXPECT_FALSE(Received().present);
}

// A read-only S.VBS left behind: the write fails, the read-only state is cleared, the old
// script runs, and the file is deleted afterwards.
TEST_F(ScriptMailerTest, ReadOnlyScriptIsClearedAndTheOldOneRuns) {
    const std::string old = "' an old script\r\n";
    WriteFile(dir.File("S.VBS"), old);
    ::chmod(dir.File("S.VBS").c_str(), 0444);
    // As root no file is read-only: the test runs as an unprivileged user, who finds the
    // stand-in in the current folder when the tests' own folder is closed to it.
    test::Stage(TOLVANE_BIN_DIR "/CSCRIPT.EXE", dir.Path());
    test::HandOver(dir.Path());
    const int outcome = test::RunUnprivileged("the script mailer", [&] {
        if (FindProgram("CSCRIPT.EXE").empty()) {
            return 4;
        }
        if (ScriptMailer::WriteScript("S.VBS") != ScriptMailer::Script::Old) {
            return 1;
        }
        struct stat info {};
        if (::stat("S.VBS", &info) != 0 || (info.st_mode & S_IWUSR) == 0) {
            return 2;
        }
        ::chmod("S.VBS", 0444);
        return ScriptMailer::Send("me@x", "to@y", "s", "b") == ScriptMailer::Result::Sent ? 0 : 3;
    });
    ASSERT_NE(outcome, 4) << "the stand-in CSCRIPT.EXE is out of the unprivileged user's reach";
    EXPECT_EQ(outcome, 0);
    const Handed handed = Received();
    EXPECT_EQ(handed.script, old);
    EXPECT_EQ(handed.headers.at("To"), "to@y");
    EXPECT_FALSE(fs::exists(dir.File("S.VBS")));
}

// A clone may lie in a folder closed to other users, as in root's 0700 home: the unprivileged
// user then runs copies of the programs, staged where it can reach them.
TEST_F(ScriptMailerTest, UnprivilegedUserRunsProgramsStagedFromAClosedFolder) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "switching to an unprivileged user needs root";
    }
    test::TempDir closed;
    ASSERT_EQ(::chmod(closed.Path().c_str(), 0700), 0);
    fs::copy_file(TOLVANE_BIN_DIR "/CSCRIPT.EXE", closed.File("CSCRIPT.EXE"));
    fs::copy_file(dir.File("sendmail"), closed.File("sendmail"));
    WriteFile(dir.File("S.VBS"), ScriptMailer::ScriptText());
    test::HandOver(dir.Path());
    auto sendFrom = [&](const std::string& folder) {
        ::setenv("TOLVANE_SENDMAIL", (folder + "/sendmail").c_str(), 1);
        return test::RunUnprivileged("the stand-in in " + folder, [&] {
            ChildProcess child;
            if (!child.Start(std::vector<std::string>{folder + "/CSCRIPT.EXE", "S.VBS", "/f",
                                                      "me@x", "/t", "to@y"})) {
                return 1;
            }
            return test::WaitForEnd(child, "the stand-in CSCRIPT.EXE").exitCode ==
                           ScriptMailer::kSent
                       ? 0
                       : 2;
        });
    };
    // The fault this guards against: from where the programs start out, nothing runs.
    EXPECT_EQ(sendFrom(closed.Path()), 1);
    EXPECT_FALSE(Received().present);

    test::Stage(closed.File("CSCRIPT.EXE"), dir.Path());
    test::Stage(closed.File("sendmail"), dir.Path());
    EXPECT_EQ(sendFrom(dir.Path()), 0);
    const Handed handed = Received();
    ASSERT_TRUE(handed.present);
    EXPECT_EQ(handed.headers.at("From"), "me@x");
    EXPECT_EQ(handed.headers.at("To"), "to@y");
}

// Only the empty server text selects the script; a blank is a server name, not trimmed away.
TEST_F(ScriptMailerTest, BlankServerStaysOnTheSmtpPath) {
    std::string reason;
    MailLimits limits;
    limits.resolve = test::ResolveLocally;
    EXPECT_EQ(SendNotificationMailUsing(limits, "me@x", "to@y", "s", "b", " ", 25, {}, reason), 0);
    EXPECT_EQ(test::Utf8(reason), "ホストに接続できません。");
    EXPECT_FALSE(Received().present);
}

TEST_F(ScriptMailerTest, LineBreaksInAddressesSendNothing) {
    for (const std::string smtp : {"", "127.0.0.1"}) {
        for (const auto& [from, to] :
             std::vector<std::pair<std::string, std::string>>{{"me@x\r\nRCPT TO: <evil@x>", "to@y"},
                                                              {"me@x", "to@y\nBcc: evil@x"},
                                                              {"me@x\r", "to@y"}}) {
            std::string reason;
            EXPECT_EQ(
                SendNotificationMail(from, to, "s", "b", smtp, test::UnusedLoopbackPort(), reason),
                0);
            EXPECT_EQ(test::Utf8(reason), "メールアドレスに改行を含めることはできません。");
        }
    }
    EXPECT_FALSE(Received().present);
}

}  // namespace
}  // namespace tolvane
