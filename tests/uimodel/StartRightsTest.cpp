// What the window says at start when this account may not restart the services or save the
// settings: the services asked about are those of the restart with the window's settings.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "os/CodePage.h"
#include "ui/model/StartRights.h"

namespace tolvane {
namespace {

TEST(StartRights, TheRestartsServicesAreAskedAboutAndTheDeniedOnesNamed) {
    struct Case {
        const char* name;
        std::function<void(Settings&)> settings;
        std::set<std::string> denied;
        std::vector<std::string> asked;  // in order
        std::vector<std::string> named;
    };
    const Case cases[] = {
        {"defaults, all granted",
         [](Settings&) {},
         {},
         {"w3svc", "iisadmin", "msftpsvc", "smtpsvc"},
         {}},
        {"defaults, two denied",
         [](Settings&) {},
         {"iisadmin", "smtpsvc"},
         {"w3svc", "iisadmin", "msftpsvc", "smtpsvc"},
         {"iisadmin", "smtpsvc"}},
        {"an option that is off is not asked about",
         [](Settings& s) { s.CheckSmtpSvc = 0; },
         {"smtpsvc"},
         {"w3svc", "iisadmin", "msftpsvc"},
         {}},
        {"every option, msdtc asked once",
         [](Settings& s) { s.CheckNntpSvc = s.CheckMsdtc = 1; },
         {"msdtc", "nntpsvc"},
         {"w3svc", "iisadmin", "msdtc", "msftpsvc", "smtpsvc", "nntpsvc"},
         {"msdtc", "nntpsvc"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Settings settings;
        c.settings(settings);
        std::vector<std::string> asked;
        const auto named = UncontrollableServices(settings, [&](const std::string& name) {
            asked.push_back(name);
            return c.denied.contains(name);
        });
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(named, c.named);
    }
}

TEST(StartRights, TheNoteSaysWhatCannotBeDoneAndThatAnAdministratorCould) {
    LoadReport deniedKey;
    deniedKey.notSaved =
        "cannot write HKEY_CLASSES_ROOT\\Zr.ClassDlg.1\\Setting: access denied (5)";
    deniedKey.denied = true;
    LoadReport fullDisk;
    fullDisk.notSaved = "cannot write the key: disk full";
    LoadReport unreadable;
    unreadable.unreadable.push_back(UnreadableValue{"Port", RegNumber, {}});
    const struct {
        const char* name;
        std::vector<std::string> services;
        LoadReport load;
        const char* note;  // UTF-8
    } cases[] = {
        {"all well", {}, {}, ""},
        {"no lack of rights: the load note stays the status line's own", {}, fullDisk, ""},
        {"no lack of rights, an unreadable value", {}, unreadable, ""},
        {"services",
         {"w3svc", "iisadmin"},
         {},
         "サービスを開始・停止する権限がありません (w3svc, iisadmin): "
         "管理者として実行してください"},
        {"the key", {}, deniedKey, "設定を保存できません: 管理者として実行してください"},
        {"both",
         {"smtpsvc"},
         deniedKey,
         "サービスを開始・停止する権限がありません (smtpsvc): 管理者として実行してください"
         "　設定を保存できません: 管理者として実行してください"},
        {"services, with what the load said",
         {"w3svc"},
         unreadable,
         "サービスを開始・停止する権限がありません (w3svc): 管理者として実行してください"
         "　読めない設定値があります (既定値を使います): Port"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MissingRightsNote(c.services, c.load), Sjis(c.note));
    }
}

}  // namespace
}  // namespace tolvane
