#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "platform/File.h"
#include "platform/Registry.h"
#include "settings/SettingsStore.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

constexpr const char* kKey = "Zr.ClassDlg.1\\Setting";

// The fourteen values in the order the store goes through them, written out here rather than
// taken from the code's own table.
const char* const kNames[] = {"Port",
                              "Interval",
                              "CheckFtpSvc",
                              "CheckSmtpSvc",
                              "CheckNntpSvc",
                              "CheckMsdtc",
                              "AutoStartupMode",
                              "WithMail",
                              "Smtp",
                              "SmtpPort",
                              "From",
                              "To",
                              "Subject",
                              "Body"};

void ExpectSame(const Settings& actual, const Settings& expected) {
    EXPECT_EQ(actual.Port, expected.Port);
    EXPECT_EQ(actual.Interval, expected.Interval);
    EXPECT_EQ(actual.CheckFtpSvc, expected.CheckFtpSvc);
    EXPECT_EQ(actual.CheckSmtpSvc, expected.CheckSmtpSvc);
    EXPECT_EQ(actual.CheckNntpSvc, expected.CheckNntpSvc);
    EXPECT_EQ(actual.CheckMsdtc, expected.CheckMsdtc);
    EXPECT_EQ(actual.AutoStartupMode, expected.AutoStartupMode);
    EXPECT_EQ(actual.WithMail, expected.WithMail);
    EXPECT_EQ(actual.Smtp, expected.Smtp);
    EXPECT_EQ(actual.SmtpPort, expected.SmtpPort);
    EXPECT_EQ(actual.From, expected.From);
    EXPECT_EQ(actual.To, expected.To);
    EXPECT_EQ(actual.Subject, expected.Subject);
    EXPECT_EQ(actual.Body, expected.Body);
}

// A record in which every field tells the generation that wrote it: numbers are the generation
// plus the field's place in the table, texts begin with the generation.
Settings Generation(std::uint32_t g) {
    const std::string n = std::to_string(g);
    Settings s;
    s.Port = g;
    s.Interval = g + 1;
    s.CheckFtpSvc = g + 2;
    s.CheckSmtpSvc = g + 3;
    s.CheckNntpSvc = g + 4;
    s.CheckMsdtc = g + 5;
    s.AutoStartupMode = g + 6;
    s.WithMail = g + 7;
    s.Smtp = n + ".smtp.example.jp";
    s.SmtpPort = g + 9;
    s.From = n + "@from.example.jp";
    s.To = n + "@to.example.jp;" + n + "@cc.example.jp";
    s.Subject = n + Sjis(" 件名 表ソ");
    s.Body = n + "\r\n" + Sjis("本文の二行目") + "\r\n\"quoted\\\"";
    return s;
}

class SettingsStoreTest : public ::testing::Test {
protected:
    std::string Text() const { return test::ReadFile(path_); }

    // The values of the Setting key as the file holds them, in file order.
    std::vector<RegValue> Stored() const {
        RegHiveData hive;
        if (!RegHiveData::Parse(Text(), hive)) {
            ADD_FAILURE() << "the store's file does not parse";
            return {};
        }
        const RegKeyData* key = hive.FindKey(kKey);
        return key != nullptr ? key->values : std::vector<RegValue>{};
    }

    const RegValue* Find(const std::vector<RegValue>& values, const std::string& name) {
        for (const auto& value : values) {
            if (value.name == name) {
                return &value;
            }
        }
        return nullptr;
    }

    // Rewrites the file with the named values taken out, as a user with an editor would.
    void DeleteValues(std::initializer_list<const char*> names) {
        RegHiveData hive;
        ASSERT_TRUE(RegHiveData::Parse(Text(), hive));
        auto& values = hive.FindKey(kKey)->values;
        for (const char* name : names) {
            std::erase_if(values, [&](const RegValue& v) { return v.name == name; });
        }
        test::WriteFile(path_, hive.Format());
    }

    void SetRaw(const std::string& name, std::uint32_t type, const std::string& data) {
        RegistryHive hive(path_);
        HKEY program;
        HKEY setting;
        ASSERT_EQ(RegCreateKeyEx(RootKey(hive), "Zr.ClassDlg.1", program), ERROR_SUCCESS);
        ASSERT_EQ(RegCreateKeyEx(program, "Setting", setting), ERROR_SUCCESS);
        ASSERT_EQ(
            RegSetValueEx(setting, name, type, reinterpret_cast<const std::uint8_t*>(data.data()),
                          static_cast<std::uint32_t>(data.size())),
            ERROR_SUCCESS);
    }

    Settings Load() {
        Settings settings;
        store_.LoadSettings(settings);
        return settings;
    }

    test::TempDir dir_;
    std::string path_ = dir_.File("HKEY_CLASSES_ROOT.reg");
    RegistryHive hive_{path_};
    SettingsStore store_{hive_};
};

TEST_F(SettingsStoreTest, FirstStartWritesTheDefaultsInTableOrder) {
    const Settings settings = Load();
    EXPECT_EQ(settings.Port, 80u);
    EXPECT_EQ(settings.Interval, 60u);
    EXPECT_EQ(settings.CheckFtpSvc, 1u);
    EXPECT_EQ(settings.CheckSmtpSvc, 1u);
    EXPECT_EQ(settings.CheckNntpSvc, 0u);
    EXPECT_EQ(settings.CheckMsdtc, 0u);
    EXPECT_EQ(settings.AutoStartupMode, 0u);
    EXPECT_EQ(settings.WithMail, 0u);
    EXPECT_EQ(settings.Smtp, "");
    EXPECT_EQ(settings.SmtpPort, 25u);
    EXPECT_EQ(settings.From, "");
    EXPECT_EQ(settings.To, "");
    const std::string subject = Sjis("メールの件名を入力して下さい。");
    const std::string body = Sjis("IIS再起動時に送信されるメールの本文を入力して下さい。");
    EXPECT_EQ(settings.Subject, subject);
    EXPECT_EQ(settings.Body, body);

    EXPECT_EQ(Text(),
              "REGEDIT4\n\n[Zr.ClassDlg.1]\n\n[Zr.ClassDlg.1\\Setting]\n"
              "\"Port\"=dword:00000050\n"
              "\"Interval\"=dword:0000003c\n"
              "\"CheckFtpSvc\"=dword:00000001\n"
              "\"CheckSmtpSvc\"=dword:00000001\n"
              "\"CheckNntpSvc\"=dword:00000000\n"
              "\"CheckMsdtc\"=dword:00000000\n"
              "\"AutoStartupMode\"=dword:00000000\n"
              "\"WithMail\"=dword:00000000\n"
              "\"Smtp\"=\"\"\n"
              "\"SmtpPort\"=dword:00000019\n"
              "\"From\"=\"\"\n"
              "\"To\"=\"\"\n"
              "\"Subject\"=\"" +
                  subject +
                  "\"\n"
                  "\"Body\"=\"" +
                  body + "\"\n");
    // A second start finds everything and writes nothing.
    const std::string first = Text();
    Load();
    EXPECT_EQ(Text(), first);
}

TEST_F(SettingsStoreTest, DeletedValuesComeBackWithTheirDefaults) {
    store_.SaveSettings(Generation(7));
    DeleteValues({"Interval", "To", "Body"});
    const Settings loaded = Load();

    Settings expected = Generation(7);
    const Settings defaults;
    expected.Interval = defaults.Interval;
    expected.To = defaults.To;
    expected.Body = defaults.Body;
    ExpectSame(loaded, expected);

    const auto values = Stored();
    ASSERT_EQ(values.size(), 14u);
    EXPECT_EQ(Find(values, "Interval")->data, std::string("\x3c\0\0\0", 4));
    EXPECT_EQ(Find(values, "To")->data, std::string(1, '\0'));
    EXPECT_EQ(Find(values, "Body")->data, defaults.Body + '\0');
    EXPECT_EQ(Find(values, "Port")->data, std::string("\x07\0\0\0", 4));
}

TEST_F(SettingsStoreTest, UnreadableNumbersAreOverwrittenAsDword) {
    const struct {
        const char* name;
        std::uint32_t type;
        std::string data;
        std::uint32_t loaded;
        std::string storedAfter;
    } cases[] = {
        // Too long for the field's four bytes: replaced by the default as REG_DWORD.
        {"text of four characters", REG_SZ, std::string("8080\0", 5), 80,
         std::string("P\0\0\0", 4)},
        {"eight bytes", REG_BINARY, std::string(8, '\x01'), 80, std::string("P\0\0\0", 4)},
        // Shorter data fits and fills the low bytes; the type is not looked at.
        {"two bytes", REG_BINARY, std::string("\x90\x1f", 2), 8080, std::string("\x90\x1f", 2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(path_);
        SetRaw("Port", c.type, c.data);
        EXPECT_EQ(Load().Port, c.loaded);
        const RegValue* port = Find(Stored(), "Port");
        ASSERT_NE(port, nullptr);
        EXPECT_EQ(port->data, c.storedAfter);
        EXPECT_EQ(port->type, c.storedAfter == c.data ? c.type : REG_DWORD);
    }
}

TEST_F(SettingsStoreTest, OutOfRangeNumbersLoadUnchanged) {
    Settings odd;
    odd.Interval = 0;
    odd.Port = 70000;
    odd.SmtpPort = 0xFFFFFFFF;
    odd.WithMail = 2;
    store_.SaveSettings(odd);
    const std::string before = Text();
    ExpectSame(Load(), odd);
    EXPECT_EQ(Text(), before);
}

TEST_F(SettingsStoreTest, TextsKeepTheirBytesThroughSaveAndLoad) {
    Settings saved;
    saved.Smtp = "";
    saved.From = "";
    saved.To = "";
    saved.Subject = Sjis("表ソ能\"引用\"\\");
    saved.Body = Sjis("一行目\r\n二行目\r\n\r\n最後の行は改行なし");
    store_.SaveSettings(saved);

    const auto values = Stored();
    for (const char* empty : {"Smtp", "From", "To"}) {
        SCOPED_TRACE(empty);
        const RegValue* value = Find(values, empty);
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->type, REG_SZ);
        EXPECT_EQ(value->data, std::string(1, '\0'));  // one NUL, data length 1
    }
    EXPECT_EQ(Find(values, "Body")->data, saved.Body + '\0');

    Settings loaded;
    loaded.Smtp = "stale.example.jp";
    loaded.From = "stale@example.jp";
    loaded.To = "stale@example.jp";
    store_.LoadSettings(loaded);
    ExpectSame(loaded, saved);
}

TEST_F(SettingsStoreTest, TextsUpToTheReadLimitLoad) {
    const struct {
        std::size_t length;  // without the terminator
        bool loads;
    } cases[] = {{65534, true}, {65535, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        std::filesystem::remove(path_);
        Settings saved;
        saved.Body = std::string(c.length, 'b');
        store_.SaveSettings(saved);
        const Settings loaded = Load();
        // A text too long to read is written back from the record's current (default) text.
        const std::string expected = c.loads ? saved.Body : Settings().Body;
        EXPECT_EQ(loaded.Body, expected);
        EXPECT_EQ(Find(Stored(), "Body")->data, expected + '\0');
    }
}

TEST_F(SettingsStoreTest, MailSaveTouchesOnlyTheSevenMailValues) {
    const Settings stored = Generation(100);
    store_.SaveSettings(stored);
    // The window holds unsaved changes to every field; the mail dialog saves its seven.
    const Settings window = Generation(200);
    store_.SaveMailSettings(window.WithMail, window.SmtpPort, window.Smtp, window.From, window.To,
                            window.Subject, window.Body);

    Settings expected = stored;
    expected.WithMail = window.WithMail;
    expected.SmtpPort = window.SmtpPort;
    expected.Smtp = window.Smtp;
    expected.From = window.From;
    expected.To = window.To;
    expected.Subject = window.Subject;
    expected.Body = window.Body;
    ExpectSame(Load(), expected);

    store_.SaveStartupMode(1);
    expected.AutoStartupMode = 1;
    ExpectSame(Load(), expected);

    // Values keep their places in the file.
    const auto values = Stored();
    ASSERT_EQ(values.size(), 14u);
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(values[i].name, kNames[i]);
    }
}

TEST_F(SettingsStoreTest, DamagedFileIsKeptAndDefaultsComeBack) {
    store_.SaveSettings(Generation(5));
    std::string damaged = Text();
    damaged.resize(damaged.size() / 2);  // cut in the middle of a line
    test::WriteFile(path_, damaged);

    const Settings loaded = Load();
    ExpectSame(loaded, Settings());
    EXPECT_EQ(test::ReadFile(path_ + ".bad"), damaged);
    EXPECT_EQ(Stored().size(), 14u);
}

TEST_F(SettingsStoreTest, UnopenableStoreLeavesTheRecordAlone) {
    test::WriteFile(dir_.File("plain"), "not a folder");
    RegistryHive blocked(dir_.File("plain/HKEY_CLASSES_ROOT.reg"));
    SettingsStore store(blocked);
    Settings settings = Generation(3);
    store.LoadSettings(settings);
    ExpectSame(settings, Generation(3));
    store.SaveSettings(settings);
    store.SaveMailSettings(1, 25, "a", "b", "c", "d", "e");
    store.SaveStartupMode(1);
    EXPECT_EQ(test::ReadFile(dir_.File("plain")), "not a folder");
}

// The stored data of the fourteen values of a record, in table order.
std::vector<std::string> Encoded(const Settings& s) {
    auto number = [](std::uint32_t v) {
        std::string bytes(4, '\0');
        for (std::size_t b = 0; b < 4; ++b) {
            bytes[b] = static_cast<char>((v >> (8 * b)) & 0xFF);
        }
        return bytes;
    };
    auto text = [](const std::string& v) { return v + '\0'; };
    return {number(s.Port),
            number(s.Interval),
            number(s.CheckFtpSvc),
            number(s.CheckSmtpSvc),
            number(s.CheckNntpSvc),
            number(s.CheckMsdtc),
            number(s.AutoStartupMode),
            number(s.WithMail),
            text(s.Smtp),
            number(s.SmtpPort),
            text(s.From),
            text(s.To),
            text(s.Subject),
            text(s.Body)};
}

// Which generation wrote each value, in table order; -1 where a value is missing or is not
// exactly what any generation wrote.
std::vector<long long> Generations(const std::vector<RegValue>& values) {
    std::vector<long long> generations(std::size(kNames), -1);
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
        for (const auto& value : values) {
            if (value.name != kNames[i]) {
                continue;
            }
            long long g = -1;
            if (value.type == REG_DWORD && value.data.size() == 4) {
                std::uint32_t n = 0;
                std::memcpy(&n, value.data.data(), 4);  // little-endian, as stored
                g = static_cast<long long>(n) - static_cast<long long>(i);
            } else if (value.type == REG_SZ) {
                g = std::atoll(value.data.c_str());
            }
            if (g >= 0 && Encoded(Generation(static_cast<std::uint32_t>(g)))[i] == value.data) {
                generations[i] = g;
            }
        }
    }
    return generations;
}

TEST_F(SettingsStoreTest, SaveKilledAtAnyMomentLeavesALoadableRecord) {
    store_.SaveSettings(Generation(1));
    // Kill within about three saves, so the kills land before, inside and between saves.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i) {
        store_.SaveSettings(Generation(1));
    }
    const auto perSave = std::chrono::duration_cast<std::chrono::microseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count() /
                         5;
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<long> delay(0, 3 * perSave + 1000);

    int torn = 0;
    constexpr int kKills = 60;
    for (int round = 0; round < kKills; ++round) {
        // Each child counts on from a base above every earlier child's, so across the file the
        // generations may only fall in table order: a save overwrites a prefix of the table.
        const std::uint32_t base = static_cast<std::uint32_t>(round + 1) * 1000000u;
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            RegistryHive hive(path_);
            SettingsStore store(hive);
            for (std::uint32_t g = base;; ++g) {
                store.SaveSettings(Generation(g));
            }
        }
        ::usleep(static_cast<useconds_t>(delay(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));

        SCOPED_TRACE("round " + std::to_string(round));
        const std::string text = Text();
        RegHiveData parsed;
        ASSERT_TRUE(RegHiveData::Parse(text, parsed)) << text;
        const std::vector<long long> generations = Generations(parsed.FindKey(kKey)->values);
        for (std::size_t i = 0; i < generations.size(); ++i) {
            ASSERT_GE(generations[i], 1) << kNames[i] << " in\n" << text;
            if (i > 0) {
                ASSERT_LE(generations[i], generations[i - 1]) << kNames[i] << " in\n" << text;
            }
        }
        torn += generations.front() != generations.back() ? 1 : 0;
        // The store loads it without writing anything back and without setting it aside.
        Load();
        EXPECT_EQ(Text(), text);
        EXPECT_FALSE(FileExists(path_ + ".bad"));
    }
    std::printf("%d of %d kills left a save half done\n", torn, kKills);

    // Temporary files of killed saves may stay behind; the store works on regardless.
    store_.SaveSettings(Generation(7));
    ExpectSame(Load(), Generation(7));
    EXPECT_FALSE(FileExists(path_ + ".bad"));
}

}  // namespace
}  // namespace tolvane
