// The settings store on the real registry: HKEY_CLASSES_ROOT\Zr.ClassDlg.1\Setting in the test
// prefix, checked with the system's own "reg query" and wide-character reads.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "os/CodePage.h"
#include "os/Process.h"
#include "registry/Registry.h"
#include "settings/SettingsStore.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/Win32TestSupport.h"

namespace tolvane {
namespace {

// The type "reg query" shows for a value, or empty when the value is missing.
std::string ShownType(const std::string& query, const std::string& name) {
    const std::string start = "    " + name + "    ";
    const auto at = query.find(start);
    if (at == std::string::npos) {
        return {};
    }
    const auto type = at + start.size();
    return query.substr(type, query.find(' ', type) - type);
}

class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override { test::DeleteSettingsKey(); }
    void TearDown() override { test::DeleteSettingsKey(); }

    Settings Loaded() {
        Settings settings;
        store.LoadSettings(settings);
        return settings;
    }

    test::TempDir dir;
    RegistryHive hive{RegistryHive::ClassesRootPath()};
    SettingsStore store{hive};
};

TEST_F(RegistryStoreTest, FirstStartWritesTheFourteenValuesWithTheirTypes) {
    const Settings settings = Loaded();
    EXPECT_EQ(settings.Port, 80u);
    EXPECT_EQ(settings.Subject, Settings().Subject);
    const std::string query = test::QuerySettingsKey(dir.Path());
    for (const auto& field : kSettingsFields) {
        SCOPED_TRACE(field.name);
        EXPECT_EQ(ShownType(query, field.name), field.number != nullptr ? "REG_DWORD" : "REG_SZ")
            << query;
    }
    EXPECT_NE(query.find("    Port    REG_DWORD    0x50"), std::string::npos) << query;
    EXPECT_NE(query.find("    Interval    REG_DWORD    0x3c"), std::string::npos) << query;
    // Stored as the Unicode text, so every system locale reads the same characters.
    EXPECT_EQ(test::ReadSettingText(L"Subject"), L"メールの件名を入力して下さい。");
}

TEST_F(RegistryStoreTest, JapaneseTextsRoundTripByteForByte) {
    Settings settings = Loaded();
    // 表 and ソ end in 0x5C, ～ and ① exist only in CP932, CR LF must survive.
    settings.Subject = Sjis("表ソ～①");
    settings.Body = Sjis("再起動しました\r\n二行目 ﾃｽﾄ");
    settings.From = "";
    store.SaveSettings(settings);
    const Settings back = Loaded();
    EXPECT_EQ(back.Subject, settings.Subject);
    EXPECT_EQ(back.Body, settings.Body);
    EXPECT_EQ(back.From, "");
    EXPECT_EQ(test::ReadSettingText(L"Subject"), L"表ソ～①");

    // What an ANSI program on a Japanese system writes reads back as the same bytes here.
    test::WriteSettingText(L"To", L"管理者@example.jp");
    EXPECT_EQ(Loaded().To, Sjis("管理者@example.jp"));
}

// A value of another type is not read: a REG_SZ "80" is no port 12344 and "600" no interval
// 3158070. It is named and stays as it is stored; a missing value comes back with its type.
TEST_F(RegistryStoreTest, AValueOfAnotherTypeIsNamedAndKeptAMissingOneComesBack) {
    Loaded();
    test::WriteSettingText(L"Port", L"80");
    test::WriteSettingText(L"Interval", L"600");
    test::DeleteSettingValue(L"Body");

    const Settings settings = Loaded();
    EXPECT_EQ(settings.Port, 80u);
    EXPECT_EQ(settings.Interval, 60u);
    EXPECT_EQ(settings.Body, Settings().Body);
    ASSERT_EQ(store.LastLoad().unreadable.size(), 2u);
    EXPECT_EQ(UnreadableText(store.LastLoad().unreadable[0]),
              "Port is stored as REG_SZ, not as REG_DWORD");
    EXPECT_EQ(UnreadableText(store.LastLoad().unreadable[1]),
              "Interval is stored as REG_SZ, not as REG_DWORD");
    EXPECT_EQ(test::ReadSettingText(L"Port"), L"80");
    EXPECT_EQ(test::ReadSettingText(L"Interval"), L"600");
    const std::string query = test::QuerySettingsKey(dir.Path());
    EXPECT_EQ(ShownType(query, "Body"), "REG_SZ") << query;
}

TEST_F(RegistryStoreTest, TextsLongerThanTheReadLimitAreNotReadAndKept) {
    Loaded();
    test::WriteSettingText(L"Smtp", std::wstring(66000, L'x'));
    EXPECT_EQ(Loaded().Smtp, "") << "the default is used";
    EXPECT_EQ(store.LastLoad().unreadable.size(), 1u);
    EXPECT_EQ(test::ReadSettingText(L"Smtp"), std::wstring(66000, L'x'));
}

// A key made elevated is read-only to a standard user or an unelevated administrator: it is
// read as it stands, a missing value is not written, and the load says why nothing can be
// saved, as tolvanectl does on standard error.
TEST_F(RegistryStoreTest, AKeyThatMayOnlyBeReadIsReadAndSaysWhyItCannotBeSaved) {
    Settings stored;
    stored.Port = 8080;
    stored.Interval = 30;
    stored.WithMail = 1;
    store.SaveSettings(stored);
    test::DeleteSettingValue(L"Body");
    ASSERT_TRUE(test::MakeSettingsKeyReadOnly(true));

    const Settings settings = Loaded();
    EXPECT_EQ(settings.Port, 8080u);
    EXPECT_EQ(settings.Interval, 30u);
    EXPECT_EQ(settings.WithMail, 1u);
    EXPECT_TRUE(store.LastLoad().denied);
    EXPECT_NE(store.LastLoad().notSaved.find("access denied"), std::string::npos)
        << store.LastLoad().notSaved;
    EXPECT_EQ(test::ReadSettingText(L"Body"), L"<unreadable>") << "nothing was written";

    const std::string tolvanectl =
        test::WindowsPath(std::string(TOLVANE_BIN_DIR) + "/tolvanectl.exe");
    const std::string out = dir.File("out.txt");
    ASSERT_EQ(test::RunToFile(tolvanectl + " settings", out), 0);
    const std::string printed = test::ReadFile(out);
    EXPECT_NE(printed.find("Port=8080\r\n"), std::string::npos) << printed;
    EXPECT_EQ(test::CountOf(printed, "the settings cannot be saved"), 1u) << printed;
    EXPECT_NE(printed.find("run as administrator"), std::string::npos) << printed;
    EXPECT_EQ(test::RunToFile(tolvanectl + " set Port=81", out), 1);
    EXPECT_EQ(test::ReadSettingNumber(L"Port"), 8080);
}

// tolvanectl settings only reads: what it cannot read it names and leaves as it is.
TEST_F(RegistryStoreTest, TolvanectlSettingsNeverOverwritesAValueOfAnotherType) {
    Loaded();
    test::WriteSettingText(L"Port", L"8080");
    test::WriteSettingValue(L"SmtpPort", REG_QWORD, std::string("\xdb\x09\0\0\0\0\0\0", 8));
    const std::string tolvanectl =
        test::WindowsPath(std::string(TOLVANE_BIN_DIR) + "/tolvanectl.exe");
    const std::string out = dir.File("out.txt");
    ASSERT_EQ(test::RunToFile(tolvanectl + " settings", out), 0);
    const std::string printed = test::ReadFile(out);
    EXPECT_NE(printed.find("Port is stored as REG_SZ, not as REG_DWORD"), std::string::npos)
        << printed;
    EXPECT_NE(printed.find("SmtpPort is stored as REG_QWORD, not as REG_DWORD"), std::string::npos)
        << printed;
    EXPECT_EQ(test::ReadSettingText(L"Port"), L"8080");
    const std::string query = test::QuerySettingsKey(dir.Path());
    EXPECT_EQ(ShownType(query, "SmtpPort"), "REG_QWORD") << query;
}

// Each set is one change under a lock of the whole machine: two at the same moment both land.
TEST_F(RegistryStoreTest, ConcurrentSetsLoseNoValue) {
    Loaded();
    const std::string tolvanectl =
        test::WindowsPath(std::string(TOLVANE_BIN_DIR) + "/tolvanectl.exe");
    int lost = 0;
    constexpr int kRounds = 15;
    for (int round = 0; round < kRounds; ++round) {
        const std::string port = std::to_string(1000 + round);
        const std::string interval = std::to_string(1 + round);
        ChildProcess first;
        ChildProcess second;
        ASSERT_TRUE(first.Start(tolvanectl + " set Port=" + port));
        ASSERT_TRUE(second.Start(tolvanectl + " set Interval=" + interval));
        ASSERT_EQ(first.Wait().exitCode, 0);
        ASSERT_EQ(second.Wait().exitCode, 0);
        lost += test::ReadSettingNumber(L"Port") != 1000 + round ? 1 : 0;
        lost += test::ReadSettingNumber(L"Interval") != 1 + round ? 1 : 0;
    }
    EXPECT_EQ(lost, 0) << "of " << 2 * kRounds << " changes";
}

// The monitor reads the key again only when its last write time moved: a reading leaves it,
// a `set` moves it.
TEST_F(RegistryStoreTest, TheChangeStampMovesWithASetAndOnlyThen) {
    const std::string missing = hive.ChangeStamp(kSettingsKey);
    Loaded();
    const std::string written = hive.ChangeStamp(kSettingsKey);
    EXPECT_NE(written, missing);
    Loaded();
    EXPECT_EQ(hive.ChangeStamp(kSettingsKey), written);
    const std::string out = dir.File("out.txt");
    ASSERT_EQ(test::RunToFile(test::WindowsPath(std::string(TOLVANE_BIN_DIR) + "/tolvanectl.exe") +
                                  " set Port=8080",
                              out),
              0)
        << test::ReadFile(out);
    EXPECT_NE(hive.ChangeStamp(kSettingsKey), written);
}

TEST_F(RegistryStoreTest, TolvanectlSetsAndPrintsTheStoredSettings) {
    const std::string tolvanectl =
        test::WindowsPath(std::string(TOLVANE_BIN_DIR) + "/tolvanectl.exe");
    const std::string out = dir.File("out.txt");
    ASSERT_EQ(test::RunToFile(tolvanectl + " set Port=8080 " + Sjis("Subject=件名①"), out), 0)
        << test::ReadFile(out);
    EXPECT_EQ(test::ReadSettingText(L"Subject"), L"件名①");
    EXPECT_EQ(test::RunToFile(tolvanectl + " set Interval=0", out), 2);
    EXPECT_NE(test::ReadFile(out).find("Please enter an integer between 1 and 99999."),
              std::string::npos);
    ASSERT_EQ(test::RunToFile(tolvanectl + " settings", out), 0);
    const std::string printed = test::ReadFile(out);
    EXPECT_NE(printed.find("Port=8080\r\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("Interval=60\r\n"), std::string::npos) << printed;
    // Written to a file, the output is UTF-8 on any system locale (the test prefix's is not
    // Japanese).
    EXPECT_NE(printed.find("Subject=件名①\r\n"), std::string::npos) << printed;
}

TEST_F(RegistryStoreTest, TolvanectlSpeaksOfWindowsAndNamesTheWholeKey) {
    const std::string tolvanectl =
        test::WindowsPath(std::string(TOLVANE_BIN_DIR) + "/tolvanectl.exe");
    const std::string out = dir.File("out.txt");
    for (const char* help : {"--help", "/?"}) {
        SCOPED_TRACE(help);
        ASSERT_EQ(test::RunToFile(tolvanectl + " " + help, out), 0);
        const std::string text = test::ReadFile(out);
        EXPECT_NE(text.find("until Ctrl-C or closing the console"), std::string::npos) << text;
        EXPECT_EQ(text.find("SIG"), std::string::npos) << text;
        EXPECT_EQ(text.find("services map"), std::string::npos) << text;
        EXPECT_NE(text.find("UTF-8"), std::string::npos) << text;
        EXPECT_NE(text.find("  service install|uninstall|start|stop|status"), std::string::npos)
            << text;
    }
    Loaded();
    ASSERT_EQ(test::RunToFile(tolvanectl + " paths", out), 0);
    const std::string paths = test::ReadFile(out);
    EXPECT_NE(paths.find("settings:     HKEY_CLASSES_ROOT\\Zr.ClassDlg.1\\Setting ("),
              std::string::npos)
        << paths;
    EXPECT_NE(paths.find("\\Software\\Classes\\Zr.ClassDlg.1\\Setting)"), std::string::npos)
        << paths;
    EXPECT_EQ(paths.find("services map"), std::string::npos) << paths;
}

// The added values on the real registry: never written back by a load, read when a person or
// tolvanectl stored them, each with its type.
TEST_F(RegistryStoreTest, AddedValuesAreReadButNotWrittenBack) {
    Loaded();
    std::string query = test::QuerySettingsKey(dir.Path());
    for (const auto& field : kAddedSettingsFields) {
        EXPECT_EQ(ShownType(query, field.name), "") << field.name;
    }
    test::WriteSettingText(L"CheckPath", L"/health");
    EXPECT_EQ(Loaded().CheckPath, "/health");

    const std::string tolvanectl =
        test::WindowsPath(std::string(TOLVANE_BIN_DIR) + "/tolvanectl.exe");
    const std::string out = dir.File("out.txt");
    ASSERT_EQ(test::RunToFile(tolvanectl + " set FailureThreshold=3 CheckStatus=200,503", out), 0)
        << test::ReadFile(out);
    EXPECT_EQ(test::RunToFile(tolvanectl + " set RestartWindow=0", out), 2);
    query = test::QuerySettingsKey(dir.Path());
    EXPECT_EQ(ShownType(query, "FailureThreshold"), "REG_DWORD") << query;
    EXPECT_EQ(ShownType(query, "CheckStatus"), "REG_SZ") << query;
    EXPECT_EQ(ShownType(query, "RestartWindow"), "") << query;
    const Settings loaded = Loaded();
    EXPECT_EQ(loaded.FailureThreshold, 3u);
    EXPECT_EQ(loaded.CheckStatus, "200,503");
    EXPECT_EQ(loaded.RestartWindow, 60u);
}

}  // namespace
}  // namespace tolvane
