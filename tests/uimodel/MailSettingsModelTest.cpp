#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "mail/MailTexts.h"
#include "registry/Registry.h"
#include "settings/SettingsStore.h"
#include "tests/support/PosixSupport.h"
#include "tests/support/TestSupport.h"
#include "ui/model/MailSettingsModel.h"
#include "ui/model/UiTexts.h"

namespace tolvane {
namespace {

// A view that records the flow's steps; its "controls" are the texts it hands over.
class RecordingView : public MailSettingsView {
public:
    explicit RecordingView(MailSettingsModel& model) : model_(model) {}

    bool ExchangeFromControls() override {
        steps.push_back("exchange");
        model_.From = from;
        model_.To = to;
        model_.WithMail = withMail;
        return portAccepted;
    }
    void ShowAddresses() override { steps.push_back("addresses " + model_.From + "|" + model_.To); }
    void UpdateEnabledStates() override {
        steps.push_back(model_.ControlEnabled(1009) ? "enabled" : "disabled");
    }
    void RepaintNow() override { steps.push_back("repaint"); }
    void Message(bool information, const std::string& text,
                 const std::string& systemText) override {
        steps.push_back(std::string(information ? "info " : "warn ") + text + systemText);
        systemTexts.push_back(systemText);
    }

    std::string from;
    std::string to;
    std::uint32_t withMail = 1;
    bool portAccepted = true;
    std::vector<std::string> steps;
    std::vector<std::string> systemTexts;  // of each message

private:
    MailSettingsModel& model_;
};

MailDispatch Dispatch(int result, std::vector<std::string>& sent, const char* reason = "") {
    return [&sent, result, reason](const std::string& from, const std::string& to,
                                   const std::string&, const std::string&, const std::string&,
                                   std::uint32_t, const MailSecurity&, std::string& why) {
        sent.push_back(from + "|" + to);
        why = reason;
        return result;
    };
}

TEST(MailSettingsModelTest, SendTestRunsItsStepsInOrder) {
    const std::string failed = mailtexts::TestMailFailed();
    struct Case {
        const char* name;
        const char* from;
        const char* to;
        bool portAccepted;
        int result;
        std::vector<std::string> steps;
        std::size_t sends;
    };
    const Case cases[] = {
        {"sent, addresses trimmed",
         " \ta@x ",
         "b@y\r\n",
         true,
         1,
         {"exchange", "addresses a@x|b@y", "disabled", "repaint",
          "info " + mailtexts::TestMailSent(), "repaint", "enabled"},
         1},
        {"not sent, reason shown",
         "a@x",
         "b@y",
         true,
         0,
         {"exchange", "addresses a@x|b@y", "disabled", "repaint", "warn " + failed + "550 no",
          "repaint", "enabled"},
         1},
        {"sender of blanks only",
         "   ",
         "b@y",
         true,
         1,
         {"exchange", "addresses |b@y", "warn " + mailtexts::AddressMissing()},
         0},
        {"port refused", "a@x", "b@y", false, 1, {"exchange"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MailSettingsModel model;
        model.WithMail = 1;
        model.Initialise();
        RecordingView view(model);
        view.from = c.from;
        view.to = c.to;
        view.portAccepted = c.portAccepted;
        std::vector<std::string> sent;
        model.SendTest(view, Dispatch(c.result, sent, "550 no"));
        EXPECT_EQ(view.steps, c.steps);
        EXPECT_EQ(sent.size(), c.sends);
        EXPECT_EQ(model.Idle, 1u);
    }
}

TEST(MailSettingsModelTest, OkChecksTheAddressesOnlyWhileMailIsOn) {
    struct Case {
        const char* name;
        std::uint32_t withMail;
        const char* from;
        bool portAccepted;
        bool accepted;
    };
    const Case cases[] = {
        {"mail off, empty addresses", 0, "", true, true},
        {"mail on, sender of blanks", 1, "  ", true, false},
        {"mail on, blanks around the sender", 1, " a@x ", true, true},
        {"neither radio button (-1) counts as on", MailSettingsModel::kNoRadio, "", true, false},
        {"port refused", 0, "", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MailSettingsModel model;
        RecordingView view(model);
        view.withMail = c.withMail;
        view.from = c.from;
        view.to = c.from;
        view.portAccepted = c.portAccepted;
        EXPECT_EQ(model.Accept(view), c.accepted);
        // The check never rewrites the fields: OK stores the addresses as typed.
        EXPECT_EQ(model.From, c.from);
    }
}

// OK's last step: the seven values reach the store, or the user learns why not and the dialog
// stays open with what was typed.
TEST(MailSettingsModelTest, OkStoresTheValuesOrSaysWhyNot) {
    for (const bool storable : {true, false}) {
        SCOPED_TRACE(storable ? "store writable" : "store's place taken by a folder");
        test::TempDir dir;
        RegistryHive hive(dir.File("HKEY_CLASSES_ROOT.reg"));
        SettingsStore store(hive);
        if (!storable) {
            std::filesystem::create_directory(hive.Path());
        }
        MailSettingsModel model;
        RecordingView view(model);
        model.WithMail = 1;
        model.From = "a@x";
        model.To = "b@y";
        model.Smtp = "127.0.0.1";
        model.SmtpPort = 2525;
        EXPECT_EQ(model.Store(view, store), storable);
        Settings stored;
        store.LoadSettings(stored);
        if (storable) {
            EXPECT_TRUE(view.steps.empty());
            EXPECT_EQ(stored.WithMail, 1u);
            EXPECT_EQ(stored.To, "b@y");
            EXPECT_EQ(stored.SmtpPort, 2525u);
        } else {
            ASSERT_EQ(view.steps.size(), 1u);
            const std::string& message = view.steps[0];
            EXPECT_EQ(message.rfind("warn " + Text(UiText::SettingsNotSaved) + "\n", 0), 0u)
                << message;
            EXPECT_NE(message.find(hive.Path()), std::string::npos) << message;
            // The store's reason is the system's text (a path may be UTF-8), so it travels
            // apart from the CP932 text for the view to convert.
            EXPECT_NE(view.systemTexts[0].find(hive.Path()), std::string::npos);
            EXPECT_TRUE(std::filesystem::is_directory(hive.Path()));
        }
    }
}

// The send test goes with the TLS and authentication values as they stand, a typed password
// included, before anything is saved.
TEST(MailSettingsModelTest, SendTestHandsOnTheSecurityValues) {
    MailSettingsModel model;
    model.WithMail = 1;
    model.Initialise();
    model.Security.SmtpSecurity = "tls";
    model.Security.SmtpVerify = "fingerprint";
    model.Security.SmtpFingerprint = std::string(64, 'c');
    model.Security.SmtpUser = "watch";
    model.Security.SmtpTokenCommand = "token-cmd";
    model.Security.SmtpPassword = "typed";
    RecordingView view(model);
    view.from = "a@x";
    view.to = "b@y";
    std::vector<MailSecurity> received;
    model.SendTest(
        view, [&](const std::string&, const std::string&, const std::string&, const std::string&,
                  const std::string&, std::uint32_t, const MailSecurity& security, std::string&) {
            received.push_back(security);
            return 1;
        });
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].SmtpSecurity, "tls");
    EXPECT_EQ(received[0].SmtpVerify, "fingerprint");
    EXPECT_EQ(received[0].SmtpFingerprint, std::string(64, 'c'));
    EXPECT_EQ(received[0].SmtpUser, "watch");
    EXPECT_EQ(received[0].SmtpTokenCommand, "token-cmd");
    EXPECT_EQ(received[0].SmtpPassword, std::optional<std::string>("typed"));
}

// The added values are written only where they change the store, so a store that never had
// them keeps looking as it did; a value changed elsewhere and not here is left alone.
TEST(MailSettingsModelTest, OkStoresTheSecurityValuesWhereTheyChange) {
    test::TempDir dir;
    RegistryHive hive(dir.File("HKEY_CLASSES_ROOT.reg"));
    SettingsStore store(hive);
    Settings elsewhere;
    ASSERT_EQ(store.UpdateSettings(elsewhere, [](Settings& s) { s.CheckPath = "/health"; }), 1);
    Settings record;
    store.LoadSettings(record);
    MailSettingsModel model;
    RecordingView view(model);
    model.TakeFrom(record);
    EXPECT_EQ(model.Security.SmtpSecurity, "none");
    ASSERT_TRUE(model.Store(view, store));
    for (const char* name :
         {"SmtpSecurity", "SmtpVerify", "SmtpFingerprint", "SmtpUser", "SmtpTokenCommand"}) {
        EXPECT_EQ(test::ReadFile(hive.Path()).find(name), std::string::npos) << name;
    }

    model.Security.SmtpSecurity = "starttls";
    model.Security.SmtpUser = "watch@example.jp";
    ASSERT_TRUE(model.Store(view, store));
    EXPECT_TRUE(view.steps.empty());
    Settings stored;
    store.LoadSettings(stored);
    EXPECT_EQ(stored.SmtpSecurity, "starttls");
    EXPECT_EQ(stored.SmtpUser, "watch@example.jp");
    EXPECT_EQ(stored.CheckPath, "/health");
    EXPECT_EQ(test::ReadFile(hive.Path()).find("SmtpVerify"), std::string::npos)
        << "left at its default, never written";

    Settings given;
    model.GiveTo(given);
    EXPECT_EQ(given.SmtpSecurity, "starttls");
    EXPECT_EQ(given.SmtpUser, "watch@example.jp");
}

// A password that cannot be kept stops the save before anything is written: the user learns
// why and the dialog stays open. Without a typed password the password's place is not touched.
TEST(MailSettingsModelTest, APasswordThatCannotBeKeptStopsTheSave) {
    test::TempDir dir;
    // The password is kept beside the settings store, in a folder that is a file here.
    std::ofstream(dir.File("not-a-folder")) << "x";
    test::ScopedEnvironment place("TOLVANE_REGISTRY",
                                  dir.File("not-a-folder") + "/HKEY_CLASSES_ROOT.reg");
    RegistryHive hive(dir.File("HKEY_CLASSES_ROOT.reg"));
    SettingsStore store(hive);
    MailSettingsModel model;
    RecordingView view(model);
    model.WithMail = 1;
    model.Security.SmtpSecurity = "tls";
    model.Security.SmtpPassword = "typed";
    EXPECT_FALSE(model.Store(view, store));
    ASSERT_EQ(view.steps.size(), 1u);
    EXPECT_EQ(view.steps[0].rfind("warn " + Text(UiText::PasswordNotSaved) + "\n", 0), 0u)
        << view.steps[0];
    EXPECT_FALSE(view.systemTexts[0].empty()) << "the reason";
    EXPECT_FALSE(std::filesystem::exists(hive.Path())) << "nothing saved";
    model.Security.SmtpPassword.reset();
    view.steps.clear();
    EXPECT_TRUE(model.Store(view, store));
    EXPECT_TRUE(view.steps.empty());
}

TEST(MailSettingsModelTest, TheFlagsEnableTheirControls) {
    MailSettingsModel model;
    model.Initialise();
    // Mail off: OK and Cancel only; the radio buttons (1014, 1015) are never ruled.
    for (int id : {1, 2, 1014, 1015}) {
        EXPECT_TRUE(model.ControlEnabled(id)) << id;
    }
    for (int id : {1009, 1016, 1003, 1010, 1011, 1012, 1013}) {
        EXPECT_FALSE(model.ControlEnabled(id)) << id;
    }
    model.WithMail = MailSettingsModel::kNoRadio;
    model.Initialise();
    EXPECT_TRUE(model.ControlEnabled(1009));
    model.Idle = 0;
    for (int id : MailSettingsModel::RuledControls()) {
        EXPECT_FALSE(model.ControlEnabled(id)) << id;
    }
}

// What the store reads back: 65,534 bytes, never half a character or half a line break.
TEST(MailSettingsModelTest, TheBodyIsCutToWhatTheStoreReadsBack) {
    const std::string a = "\x82\xa0";  // a two-byte character
    const struct {
        const char* name;
        std::string body;
        bool cut;
        std::size_t kept;
    } cases[] = {
        {"one byte short", std::string(65534, 'b'), false, 65534},
        {"one byte over", std::string(65535, 'b'), true, 65534},
        {"a character across the limit", std::string(65533, 'b') + a, true, 65533},
        {"a line break across the limit", std::string(65533, 'b') + "\r\nc", true, 65533},
        {"a line break just inside", std::string(65532, 'b') + "\r\nc", true, 65534},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string body = c.body;
        EXPECT_EQ(MailSettingsModel::CutBodyToStore(body), c.cut);
        EXPECT_EQ(body.size(), c.kept);
        EXPECT_EQ(c.body.compare(0, body.size(), body), 0) << "only the end goes";
    }
}

}  // namespace
}  // namespace tolvane
