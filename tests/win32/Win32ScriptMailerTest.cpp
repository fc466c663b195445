// The script mailer with the real CSCRIPT.EXE: its script hides every failure, so the result
// comes from what can be checked, and without "CDONTS.NewMail" the mail is not sent.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "mail/MailTexts.h"
#include "mail/ScriptMailer.h"
#include "mail/SendNotificationMail.h"
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

TEST_F(ScriptMailerTest, WithoutTheMailObjectTheMailIsNotSent) {
    std::string reason;
    EXPECT_EQ(SendNotificationMail("me@x", "to@y", "s", "b", "", 25, reason), 0);
    EXPECT_EQ(reason, mailtexts::ScriptFailed());
    EXPECT_FALSE(std::filesystem::exists(dir_.File("S.VBS")));
}

TEST_F(ScriptMailerTest, TheScriptHostRunsTheScriptWhereTheMailObjectIsRegistered) {
    test::RegisterMailObject();
    std::string reason;
    EXPECT_EQ(SendNotificationMail("me@x", "to@y", "s", "b", "", 25, reason), 1) << reason;
    EXPECT_FALSE(std::filesystem::exists(dir_.File("S.VBS"))) << "deleted after the run";
}

}  // namespace
}  // namespace tolvane
