// The settings store on the real registry: HKEY_CLASSES_ROOT\Zr.ClassDlg.1\Setting in the test
// prefix, checked with the system's own "reg query" and wide-character reads.
#include <gtest/gtest.h>

#include <string>

#include "os/CodePage.h"
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

TEST_F(RegistryStoreTest, AValueThatCannotBeReadIsWrittenBackWithItsType) {
    Loaded();
    // A number held as a text of four or more characters does not fit its 4 bytes.
    test::WriteSettingText(L"Port", L"8080");
    test::DeleteSettingValue(L"Body");

    const Settings settings = Loaded();
    EXPECT_EQ(settings.Port, 80u);
    EXPECT_EQ(settings.Body, Settings().Body);
    const std::string query = test::QuerySettingsKey(dir.Path());
    EXPECT_EQ(ShownType(query, "Port"), "REG_DWORD") << query;
    EXPECT_EQ(ShownType(query, "Body"), "REG_SZ") << query;
}

TEST_F(RegistryStoreTest, TextsLongerThanTheReadLimitAreReplaced) {
    Loaded();
    test::WriteSettingText(L"Smtp", std::wstring(70000, L'x'));
    EXPECT_EQ(Loaded().Smtp, "") << "the default comes back";
    EXPECT_EQ(test::ReadSettingText(L"Smtp"), L"");
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
