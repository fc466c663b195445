// The script mailer with the real CSCRIPT.EXE: its script hides every failure, so the result
// comes from what it reports after Send, and without "CDONTS.NewMail" the mail is not sent.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "mail/MailTexts.h"
#include "mail/ScriptMailer.h"
#include "mail/SendNotificationMail.h"
#include "os/CodePage.h"
#include "os/CommandRunner.h"
#include "os/ScriptMailObject.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/Win32TestSupport.h"

namespace tolvane {
namespace {

class ScriptMailerTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.Path());
        test::UnregisterMailObject();
    }
    void TearDown() override {
        test::UnregisterMailObject();
        std::filesystem::current_path(previous_);
    }

    test::TempDir dir_;
    std::filesystem::path previous_;
};

// Current Windows versions have no CDONTS: the reason says so, and what to do instead.
TEST_F(ScriptMailerTest, WithoutTheMailObjectTheMailIsNotSent) {
    std::string reason;
    EXPECT_EQ(SendNotificationMail("me@x", "to@y", "s", "b", "", 25, reason), 0);
    EXPECT_EQ(reason, mailtexts::ScriptFailed() + mailtexts::MailObjectNotRegistered());
    EXPECT_EQ(Cp932ToUtf8(reason), "スクリプトを実行できませんでした。（CDONTS.NewMail が登録されて"
                                  "いません。SMTPサーバーを設定してください）");
    EXPECT_FALSE(std::filesystem::exists(dir_.File("S.VBS")));
}

// Registered but not loadable (a 32-bit DLL on x64; here the key alone): the real script host
// runs the script, which passes over every error and still ends with 0 of its own. Only the
// result the script reports after Send counts, so the mail is not reported as sent.
TEST_F(ScriptMailerTest, AMailObjectThatCannotBeMadeIsNotReportedAsSent) {
    test::RegisterMailObject();
    std::string reason;
    EXPECT_EQ(SendNotificationMail("me@x", "a@x; b@y", "s", "b", "", 25, reason), 0);
    EXPECT_EQ(reason, mailtexts::ScriptFailed() + mailtexts::MailObjectNotCreated());
    std::string folder;
    ASSERT_TRUE(ScriptFolder(folder));
    EXPECT_FALSE(std::filesystem::exists(folder + "S.VBS")) << "deleted after the run";
    EXPECT_FALSE(std::filesystem::exists(dir_.File("S.VBS")));
}

// The real script host reads the mail's command line back as it was meant: a script of the
// test's own writes each argument it is given into a file beside itself.
TEST_F(ScriptMailerTest, TheScriptHostGetsEveryTextAsOneArgument) {
    const std::string script = test::WindowsPath(dir_.File("args.vbs"));
    test::WriteFile(script,
                    "Dim F, S, I: Set F = CreateObject(\"Scripting.FileSystemObject\")\r\n"
                    "Set S = F.CreateTextFile(WScript.ScriptFullName & \".txt\", True)\r\n"
                    "For I = 0 To WScript.Arguments.Count - 1: S.Write \"[\" & "
                    "WScript.Arguments(I) & \"]\": Next\r\n"
                    "S.Close\r\n");
    const struct {
        const char* from;
        const char* to;
        const char* subject;
        const char* body;
    } cases[] = {
        {"me@x", "a@x; b@y", "s", "b"},
        {"Me <me@x>", "a@x;b@y", "say \"hi\" /t evil@x", "C:\\dir\\ \\\"q\\\""},
        {"me@x", "to@y", "", "line one\r\nline \"two\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.to);
        std::filesystem::remove(script + ".txt");
        const CommandOutcome outcome = CommandRunner::Run(
            ScriptMailer::CommandLine(script, c.from, c.to, c.subject, c.body), nullptr);
        EXPECT_EQ(outcome.end, CommandEnd::Exited);
        EXPECT_EQ(test::ReadFile(script + ".txt"), std::string("[/f][") + c.from + "][/t][" +
                                                       c.to + "][/s][" + c.subject + "][/b][" +
                                                       c.body + "]");
    }
}

}  // namespace
}  // namespace tolvane
