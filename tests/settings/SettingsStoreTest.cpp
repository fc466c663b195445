#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "os/CodePage.h"
#include "os/File.h"
#include "registry/RegHiveData.h"
#include "registry/Registry.h"
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
        RegKey program;
        RegKey setting;
        ASSERT_EQ(CreateKey(RootKey(hive), "Zr.ClassDlg.1", program), RegStatus::Success);
        ASSERT_EQ(CreateKey(program, "Setting", setting), RegStatus::Success);
        ASSERT_EQ(SetValue(setting, name, type, reinterpret_cast<const std::uint8_t*>(data.data()),
                           static_cast<std::uint32_t>(data.size())),
                  RegStatus::Success);
        ASSERT_EQ(CloseKey(setting), RegStatus::Success);
        ASSERT_EQ(CloseKey(program), RegStatus::Success);
    }

    // The folder's entries but the lock files, which any operation may leave.
    std::set<std::string> Entries() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
            const std::string name = entry.path().filename().string();
            if (!name.ends_with(".lock")) {
                names.insert(name);
            }
        }
        return names;
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

// A value of another type than its own is not read: its bytes are never taken for the field's
// (a text "80" is no port 12344), it is named, and the load leaves it as it is stored.
TEST_F(SettingsStoreTest, ValuesOfAnotherTypeAreNotReadButNamedAndKept) {
    const std::uint32_t kQword = 11;
    const struct {
        const char* name;
        std::uint32_t type;
        std::string data;
        const char* said;
    } cases[] = {
        {"Port", RegText, std::string("80\0", 3), "Port is stored as REG_SZ, not as REG_DWORD"},
        {"Interval", RegText, std::string("600\0", 4),
         "Interval is stored as REG_SZ, not as REG_DWORD"},
        {"Port", RegText, std::string("8080\0", 5), "Port is stored as REG_SZ, not as REG_DWORD"},
        {"SmtpPort", kQword, std::string("\xdb\x09\0\0\0\0\0\0", 8),
         "SmtpPort is stored as REG_QWORD, not as REG_DWORD"},
        {"Port", RegBinary, std::string("\x90\x1f", 2),
         "Port is stored as REG_BINARY, not as REG_DWORD"},
        {"Port", RegNumber, std::string(8, '\x01'),
         "Port is stored with 8 bytes, more than the 4 that are read"},
        {"Subject", RegNumber, std::string("\x01\0\0\0", 4),
         "Subject is stored as REG_DWORD, not as REG_SZ"},
        {"Body", RegExpandText, std::string("%TEMP%\0", 7),
         "Body is stored as REG_EXPAND_SZ, not as REG_SZ"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        std::filesystem::remove(path_);
        Load();
        SetRaw(c.name, c.type, c.data);
        const std::string before = Text();
        Settings loaded;
        EXPECT_EQ(store_.LoadSettings(loaded), 1);
        ExpectSame(loaded, Settings());
        EXPECT_EQ(Text(), before) << "a load changed the store";
        ASSERT_EQ(store_.LastLoad().unreadable.size(), 1u);
        EXPECT_EQ(UnreadableText(store_.LastLoad().unreadable[0]), c.said);
        EXPECT_EQ(store_.LastLoad().notSaved, "");
    }
    // A shorter REG_DWORD is its own type: it fills the field's low bytes.
    std::filesystem::remove(path_);
    SetRaw("Port", RegNumber, std::string("\x90\x1f", 2));
    EXPECT_EQ(Load().Port, 8080u);
    EXPECT_TRUE(store_.LastLoad().unreadable.empty());
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
        EXPECT_EQ(value->type, RegText);
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
        // A text too long to read leaves the record's current (default) text in force, and
        // stays as it is stored.
        EXPECT_EQ(loaded.Body, c.loads ? saved.Body : Settings().Body);
        EXPECT_EQ(store_.LastLoad().unreadable.size(), c.loads ? 0u : 1u);
        const std::vector<RegValue> stored = Stored();
        ASSERT_NE(Find(stored, "Body"), nullptr);
        EXPECT_EQ(Find(stored, "Body")->data, saved.Body + '\0');
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
    CopyMailValues(window, expected);
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

// Files as people and regedit leave them, each with one odd line or form. Whatever the line
// is, the other values are read; an unreadable value is written back from the record.
TEST_F(SettingsStoreTest, AnOddLineCostsNoMoreThanItsOwnValue) {
    const Settings stored = Generation(5);
    store_.SaveSettings(stored);
    const std::string base = Text();
    const std::string portLine = "\"Port\"=dword:00000005\n";
    ASSERT_NE(base.find(portLine), std::string::npos);
    auto withPort = [&](const std::string& line) {
        std::string text = base;
        text.replace(text.find(portLine), portLine.size(), line);
        return text;
    };
    auto port = [&](std::uint32_t value) {
        Settings expected = stored;
        expected.Port = value;
        return expected;
    };
    std::string crlf;
    std::string blanks;
    for (char c : base) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        blanks += c == '\n' ? std::string(" \t\n") : std::string(1, c);
    }
    std::string repeated = base;
    repeated.insert(repeated.find("\"Smtp\"="),
                    "[Other\\Key]\n\"Foreign\"=dword:00000001\n[Zr.ClassDlg.1\\Setting]\n");
    const struct {
        const char* label;
        std::string file;
        Settings expected;
    } cases[] = {
        {"short dword", withPort("\"Port\"=dword:1f90\n"), port(8080)},
        {"dword in capitals", withPort("\"Port\"=DWORD:00001F90\n"), port(8080)},
        // REG_BINARY: no number, so not read (and left as it stands).
        {"hex", withPort("\"Port\"=hex:90,1f,00,00\n"), port(80)},
        {"hex(4) continued", withPort("\"Port\"=hex(4):90,1f,\\\n  00,00\n"), port(8080)},
        {"trailing blanks", blanks, stored},
        {"CR LF", crlf, stored},
        {"BOM", "\xEF\xBB\xBF" + base, stored},
        {"version 5 header",
         "Windows Registry Editor Version 5.00" + base.substr(std::string("REGEDIT4").size()),
         stored},
        {"comment and blank lines", withPort("; the port\n\n" + portLine + "\n"), stored},
        {"default value", withPort(portLine + "@=\"x\"\n"), stored},
        {"repeated section", repeated, stored},
        {"line without quotes", withPort(portLine + "Port=81\n"), stored},
        // Lines that cannot be read: only their value goes back to the record's.
        {"nine digits", withPort("\"Port\"=dword:000001f90\n"), port(80)},
        {"no data", withPort("\"Port\"=\n"), port(80)},
        {"text cut off", withPort("\"Port\"=\"80\n"), port(80)},
        {"line cut in the middle", base.substr(0, base.find("\"Body\"=") + 12),
         [&] {
             Settings expected = stored;
             expected.Body = Settings().Body;
             return expected;
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        test::WriteFile(path_, c.file);
        ExpectSame(Load(), c.expected);
        // What was written back reads the same, now without an odd line for our values.
        ExpectSame(Load(), c.expected);
        RegHiveData parsed;
        ASSERT_TRUE(RegHiveData::Parse(Text(), parsed));
        for (const char* name : kNames) {
            EXPECT_NE(Find(parsed.FindKey(kKey)->values, name), nullptr) << name;
        }
        for (const auto& kept : parsed.FindKey(kKey)->kept) {
            EXPECT_FALSE(kept.named) << kept.text;
        }
        EXPECT_FALSE(FileExists(path_ + ".bad"));
    }
    // The repeated section's values stayed in their key.
    test::WriteFile(path_, repeated);
    Load();
    RegHiveData parsed;
    ASSERT_TRUE(RegHiveData::Parse(Text(), parsed));
    EXPECT_EQ(parsed.FindKey("Other\\Key")->values.size(), 1u);
}

TEST_F(SettingsStoreTest, AFileThatIsNoHiveIsKeptAsideAndDefaultsComeBack) {
    for (const std::string& damaged : {std::string("Port=8080\n"), std::string("\0\1\2", 3)}) {
        SCOPED_TRACE(::testing::PrintToString(damaged));
        std::filesystem::remove(path_ + ".bad");
        test::WriteFile(path_, damaged);
        ExpectSame(Load(), Settings());
        EXPECT_EQ(test::ReadFile(path_ + ".bad"), damaged);
        EXPECT_EQ(Stored().size(), 14u);
    }
}

// A store that cannot be read is no damage: nothing is renamed or replaced, the record keeps
// what it has and every operation says that it failed and why. Each case runs in a child,
// which may give up root or descriptors.
TEST_F(SettingsStoreTest, UnreadableStoreIsLeftAloneAndSavesAreRefused) {
    const std::string before = "REGEDIT4\n\n[Zr.ClassDlg.1\\Setting]\n\"Port\"=dword:00000051\n";
    const struct {
        const char* label;
        std::string path;  // the store
        std::function<void()> prepare;
        std::function<void()> inChild;
        const char* reason;
    } cases[] = {
        {"a folder", dir_.File("folder.reg"),
         [&] { std::filesystem::create_directory(dir_.File("folder.reg")); }, [] {},
         "Is a directory"},
        {"under a plain file", dir_.File("plain/store.reg"),
         [&] { test::WriteFile(dir_.File("plain"), "not a folder"); }, [] {}, "plain"},
        {"no permission", dir_.File("locked.reg"),
         [&] {
             test::WriteFile(dir_.File("locked.reg"), before);
             ::chmod(dir_.File("locked.reg").c_str(), 0);
             ::chmod(dir_.Path().c_str(), 0755);
         },
         [] {
             // Root reads anything; the case is made as another user.
             if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
                 std::_Exit(100);
             }
         },
         "Permission denied"},
        {"no descriptors", dir_.File("limited.reg"),
         [&] { test::WriteFile(dir_.File("limited.reg"), before); },
         [] {
             // One descriptor left: enough for the lock, none for the file.
             const int lowest = ::open("/dev/null", O_RDONLY);
             ::close(lowest);
             const rlimit limit{static_cast<rlim_t>(lowest + 1), static_cast<rlim_t>(lowest + 1)};
             ::setrlimit(RLIMIT_NOFILE, &limit);
         },
         "Too many open files"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        c.prepare();
        const std::set<std::string> folderBefore = Entries();
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            c.inChild();
            RegistryHive hive(c.path);
            SettingsStore store(hive);
            Settings settings = Generation(3);
            int failed = 0;
            failed |= store.LoadSettings(settings) != 0 ? 1 : 0;
            failed |= settings.Port != Generation(3).Port ? 2 : 0;
            failed |= store.SaveSettings(settings) != 0 ? 4 : 0;
            failed |= store.SaveMailSettings(1, 25, "a", "b", "c", "d", "e") != 0 ? 8 : 0;
            failed |= store.SaveStartupMode(1) != 0 ? 16 : 0;
            failed |= store.UpdateSettings(settings, [](Settings&) {}) != 0 ? 32 : 0;
            failed |= hive.LastError().find(c.reason) == std::string::npos ? 64 : 0;
            std::_Exit(failed);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(Entries(), folderBefore);
    }
    EXPECT_EQ(test::ReadFile(dir_.File("plain")), "not a folder");
    EXPECT_TRUE(std::filesystem::is_directory(dir_.File("folder.reg")));
    ::chmod(dir_.File("locked.reg").c_str(), 0600);
    EXPECT_EQ(test::ReadFile(dir_.File("locked.reg")), before);
    EXPECT_EQ(test::ReadFile(dir_.File("limited.reg")), before);
}

// A store this account may read but not write, as a key made by an administrator is to a
// standard user: it is read as it stands, nothing is written back, and the load says why the
// settings cannot be saved. Each case runs in a child, which may give up root.
TEST_F(SettingsStoreTest, AStoreThatCannotBeWrittenIsReadAndSaysWhy) {
    const Settings stored = Generation(9);
    for (const bool valueMissing : {false, true}) {
        SCOPED_TRACE(valueMissing ? "a value missing" : "all values there");
        ::chmod(dir_.Path().c_str(), 0755);
        store_.SaveSettings(stored);
        if (valueMissing) {
            DeleteValues({"Body"});
        }
        const std::string before = Text();
        ::chmod(path_.c_str(), 0444);
        ::chmod(dir_.Path().c_str(), 0555);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
                std::_Exit(100);
            }
            RegistryHive hive(path_);
            SettingsStore store(hive);
            Settings settings;
            const int done = store.LoadSettings(settings);
            Settings expected = stored;
            expected.Body = valueMissing ? Settings().Body : stored.Body;
            int failed = 0;
            failed |= settings.Port != expected.Port || settings.To != expected.To ? 1 : 0;
            failed |= settings.Body != expected.Body ? 2 : 0;
            failed |=
                store.LastLoad().notSaved.find("Permission denied") == std::string::npos ? 4 : 0;
            failed |= store.LastLoad().denied ? 0 : 8;
            // Reading all there was is done; a value it could not write back is not.
            failed |= done != (valueMissing ? 0 : 1) ? 16 : 0;
            settings.Port += 1;
            failed |= store.SaveSettings(settings) != 0 ? 32 : 0;
            std::_Exit(failed);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ::chmod(dir_.Path().c_str(), 0755);
        ::chmod(path_.c_str(), 0600);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(Text(), before);
    }
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
            if (value.type == RegNumber && value.data.size() == 4) {
                std::uint32_t n = 0;
                std::memcpy(&n, value.data.data(), 4);  // little-endian, as stored
                g = static_cast<long long>(n) - static_cast<long long>(i);
            } else if (value.type == RegText) {
                g = std::atoll(value.data.c_str());
            }
            if (g >= 0 && Encoded(Generation(static_cast<std::uint32_t>(g)))[i] == value.data) {
                generations[i] = g;
            }
        }
    }
    return generations;
}

TEST_F(SettingsStoreTest, SaveKilledAtAnyMomentLeavesTheOldOrTheNewRecord) {
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

    // The child tells through shared memory which save it is in, if any, when it dies.
    struct Progress {
        volatile std::uint32_t saving;  // generation being saved, 0 between saves
        volatile std::uint32_t saved;   // last generation whose save returned
    };
    void* shared = ::mmap(nullptr, sizeof(Progress), PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    auto* progress = static_cast<Progress*>(shared);

    std::uint32_t previous = 1;  // the record before the round
    int insideSaves = 0;
    constexpr int kKills = 60;
    for (int round = 0; round < kKills; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::uint32_t base = static_cast<std::uint32_t>(round + 1) * 1000000u;
        progress->saving = 0;
        progress->saved = 0;
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            RegistryHive hive(path_);
            SettingsStore store(hive);
            for (std::uint32_t g = base;; ++g) {
                progress->saving = g;
                store.SaveSettings(Generation(g));
                progress->saved = g;
                progress->saving = 0;
            }
        }
        ::usleep(static_cast<useconds_t>(delay(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));

        // Old: the last save that returned (or the record before the round); new: the save
        // the child was in.
        const std::uint32_t old = progress->saved != 0 ? progress->saved : previous;
        const std::uint32_t interrupted = progress->saving;
        insideSaves += interrupted != 0 ? 1 : 0;
        const std::string text = Text();
        RegHiveData parsed;
        ASSERT_TRUE(RegHiveData::Parse(text, parsed)) << text;
        const std::vector<long long> generations = Generations(parsed.FindKey(kKey)->values);
        for (std::size_t i = 0; i < generations.size(); ++i) {
            ASSERT_TRUE(generations[i] == old ||
                        (interrupted != 0 && generations[i] == interrupted))
                << kNames[i] << " of generation " << generations[i] << ", old " << old
                << ", interrupted " << interrupted << " in\n"
                << text;
            ASSERT_EQ(generations[i], generations[0]) << kNames[i] << " in\n" << text;
        }
        previous = static_cast<std::uint32_t>(generations[0]);
        // The store loads it without writing anything back and without setting it aside.
        ExpectSame(Load(), Generation(previous));
        EXPECT_EQ(Text(), text);
        EXPECT_FALSE(FileExists(path_ + ".bad"));
    }
    ::munmap(shared, sizeof(Progress));
    std::printf("%d of %d kills landed inside a save\n", insideSaves, kKills);
    EXPECT_GT(insideSaves, 0);

    // Temporary files of killed saves may stay behind; the store works on regardless.
    store_.SaveSettings(Generation(7));
    ExpectSame(Load(), Generation(7));
    EXPECT_FALSE(FileExists(path_ + ".bad"));
}

}  // namespace
}  // namespace tolvane

namespace tolvane {
namespace {

// The values added beside the fourteen are read when stored, keep their defaults when missing
// and are never written back; only a change through UpdateSettings (tolvanectl set) writes one,
// and only the one it changed.
TEST_F(SettingsStoreTest, AddedValuesAreReadWhenStoredAndWrittenOnlyWhenChanged) {
    Load();
    SetRaw("CheckPath", RegText, std::string("/health\0", 8));
    SetRaw("FailureThreshold", RegNumber, std::string("\x03\0\0\0", 4));
    const std::string before = Text();
    Settings loaded = Load();
    EXPECT_EQ(Text(), before) << "a load writes no added value back";
    EXPECT_EQ(loaded.CheckPath, "/health");
    EXPECT_EQ(loaded.FailureThreshold, 3u);
    const Settings defaults;
    EXPECT_EQ(loaded.CheckStatus, "200-399");
    EXPECT_EQ(loaded.CheckTimeout, 10u);
    EXPECT_EQ(loaded.RestartWindow, 60u);
    EXPECT_EQ(loaded.RestartLimit, defaults.RestartLimit);

    // The window's Save writes the fourteen and leaves the added values as they are stored.
    loaded.RestartLimit = 9;
    ASSERT_EQ(store_.SaveSettings(loaded), 1);
    EXPECT_EQ(Find(Stored(), "RestartLimit"), nullptr);

    Settings updated;
    ASSERT_EQ(store_.UpdateSettings(updated, [](Settings& s) { s.RestartLimit = 5; }), 1);
    const auto values = Stored();
    EXPECT_EQ(values.size(), 17u);
    ASSERT_NE(Find(values, "RestartLimit"), nullptr);
    EXPECT_EQ(Find(values, "RestartLimit")->type, static_cast<std::uint32_t>(RegNumber));
    EXPECT_EQ(Find(values, "RestartLimit")->data, std::string("\x05\0\0\0", 4));
    EXPECT_EQ(Find(values, "CheckPath")->data, std::string("/health\0", 8));
    EXPECT_EQ(Find(values, "CheckStatus"), nullptr);
}

// A hand-edited store may break an added value's rule: it loads as stored (tolvanectl names
// it), and the monitor works with its default.
TEST_F(SettingsStoreTest, AnAddedValueThatBreaksItsRuleCountsAsItsDefault) {
    Load();
    SetRaw("CheckStatus", RegText, std::string("abc\0", 4));
    SetRaw("CheckTimeout", RegNumber, std::string("\0\0\0\0", 4));
    SetRaw("CheckPath", RegText, std::string("/ok\0", 4));
    const Settings loaded = Load();
    EXPECT_EQ(loaded.CheckStatus, "abc");
    EXPECT_EQ(loaded.CheckTimeout, 0u);
    const Settings inForce = AddedValuesInForce(loaded);
    EXPECT_EQ(inForce.CheckStatus, "200-399");
    EXPECT_EQ(inForce.CheckTimeout, 10u);
    EXPECT_EQ(inForce.CheckPath, "/ok");
}

}  // namespace
}  // namespace tolvane
