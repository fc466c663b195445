#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "os/File.h"
#include "os/File.posix.h"
#include "registry/RegHiveData.h"
#include "registry/Registry.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int v : values) {
        bytes += static_cast<char>(v);
    }
    return bytes;
}

struct Stored {
    RegStatus status{-1};
    std::uint32_t type = 0;
    std::string data;
};

Stored Query(const RegKey& key, const std::string& name) {
    Stored stored;
    std::uint32_t size = 0;
    stored.status = QueryValue(key, name, &stored.type, nullptr, &size);
    if (stored.status != RegStatus::Success) {
        return stored;
    }
    std::vector<std::uint8_t> buffer(size + 1, 0xAA);
    stored.status = QueryValue(key, name, &stored.type, buffer.data(), &size);
    stored.data.assign(reinterpret_cast<const char*>(buffer.data()), size);
    return stored;
}

RegStatus Set(const RegKey& key, const std::string& name, std::uint32_t type,
              const std::string& data) {
    return SetValue(key, name, type, reinterpret_cast<const std::uint8_t*>(data.data()),
                    static_cast<std::uint32_t>(data.size()));
}

class RegistryTest : public ::testing::Test {
protected:
    RegKey Open(RegistryHive& hive, const std::string& path) {
        RegKey key = RootKey(hive);
        std::size_t at = 0;
        while (true) {
            const auto slash = path.find('\\', at);
            RegKey next;
            EXPECT_EQ(CreateKey(key, path.substr(at, slash - at), next), RegStatus::Success);
            key = next;
            if (slash == std::string::npos) {
                return key;
            }
            at = slash + 1;
        }
    }
    std::string Text() const { return test::ReadFile(path_); }
    std::set<std::string> FolderEntries() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    test::TempDir dir_;
    std::string path_ = dir_.File("hive.reg");
    RegistryHive hive_{path_};
};

struct FormatCase {
    const char* name;
    std::uint32_t type;
    std::string data;
    std::string line;  // as it stands in the file
};

const FormatCase kFormatCases[] = {
    // 表 and ソ are 95 5C and 83 5C: their 0x5C is escaped like any backslash.
    {"Text", RegText, std::string("a\\b\"c\r\nd\x95\x5C\x83\x5C") + '\0',
     std::string(R"("Text"="a\\b\"c\r\nd)") + "\x95" + R"(\\)" + "\x83" + R"(\\")"},
    {"Empty", RegText, std::string(1, '\0'), R"("Empty"="")"},
    {"Port", RegNumber, Bytes({0x1E, 0, 0, 0}), R"("Port"=dword:0000001e)"},
    {"Order", RegNumber, Bytes({0x78, 0x56, 0x34, 0x12}), R"("Order"=dword:12345678)"},
    {"Short", RegNumber, Bytes({1, 2, 3}), R"("Short"=hex(4):01,02,03)"},
    {"Long", RegNumber, Bytes({1, 2, 3, 4, 5}), R"("Long"=hex(4):01,02,03,04,05)"},
    {"Binary", RegBinary, Bytes({0x00, 0xFF, 0x10}), R"("Binary"=hex(3):00,ff,10)"},
    {"Odd", RegBinary, Bytes({0x7F}), R"("Odd"=hex(3):7f)"},
    {"NoNul", RegText, "abc", R"("NoNul"=hex(1):61,62,63)"},
    {"InnerNul", RegText, std::string("a\0b\0", 4), R"("InnerNul"=hex(1):61,00,62,00)"},
    {"NoData", RegText, "", R"("NoData"=hex(1):)"},
    {"Expand", RegExpandText, std::string("%X%\0", 4), R"("Expand"=hex(2):25,58,25,00)"},
    {"Big type", 0x12345, "x", R"("Big type"=hex(12345):78)"},
    {"we\"ird\\na\nme", RegNumber, Bytes({1, 0, 0, 0}), R"("we\"ird\\na\nme"=dword:00000001)"},
};

TEST_F(RegistryTest, ValuesRoundTripThroughTheFile) {
    RegKey key = Open(hive_, "Zr.ClassDlg.1\\Setting");
    for (const auto& c : kFormatCases) {
        ASSERT_EQ(Set(key, c.name, c.type, c.data), RegStatus::Success) << c.name;
    }
    ASSERT_EQ(CloseKey(key), RegStatus::Success);
    const std::string text = Text();
    EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u);
    std::size_t previous = 0;
    for (const auto& c : kFormatCases) {
        SCOPED_TRACE(c.name);
        // Lines appear in the order the values were first written.
        const auto at = text.find("\n" + c.line + "\n");
        ASSERT_NE(at, std::string::npos) << text;
        EXPECT_GT(at, previous);
        previous = at;
    }
    // A fresh hive reads every value back with its type and exact bytes.
    RegistryHive again(path_);
    RegKey reread = Open(again, "Zr.ClassDlg.1\\Setting");
    for (const auto& c : kFormatCases) {
        SCOPED_TRACE(c.name);
        const Stored stored = Query(reread, c.name);
        EXPECT_EQ(stored.status, RegStatus::Success);
        EXPECT_EQ(stored.type, c.type);
        EXPECT_EQ(stored.data, c.data);
    }
    EXPECT_EQ(CloseKey(reread), RegStatus::Success);
    EXPECT_EQ(Text(), text);  // reading changed nothing
}

TEST_F(RegistryTest, KeepsUnknownKeysAndValues) {
    // Written by hand, with Windows line ends and a key whose parent line is missing.
    test::WriteFile(path_,
                    "REGEDIT4\r\n\r\n[Other\\Deep\\Key]\r\n\"Keep\"=\"me\"\r\n"
                    "\"Blob\"=hex(3):DE,AD\r\n\r\n[Zr.ClassDlg.1\\Setting]\r\n"
                    "\"Foreign\"=dword:0000000A\r\n");
    RegKey key = Open(hive_, "Zr.ClassDlg.1\\Setting");
    ASSERT_EQ(Set(key, "Port", RegNumber, Bytes({80, 0, 0, 0})), RegStatus::Success);
    ASSERT_EQ(CloseKey(key), RegStatus::Success);

    RegistryHive again(path_);
    const RegKey other = Open(again, "Other\\Deep\\Key");
    const Stored keep = Query(other, "Keep");
    EXPECT_EQ(keep.type, RegText);
    EXPECT_EQ(keep.data, std::string("me\0", 3));
    const Stored blob = Query(other, "Blob");
    EXPECT_EQ(blob.type, RegBinary);
    EXPECT_EQ(blob.data, Bytes({0xDE, 0xAD}));
    const Stored foreign = Query(Open(again, "Zr.ClassDlg.1\\Setting"), "Foreign");
    EXPECT_EQ(foreign.type, RegNumber);
    EXPECT_EQ(foreign.data, Bytes({10, 0, 0, 0}));
    EXPECT_EQ(Query(Open(again, "Zr.ClassDlg.1\\Setting"), "Port").data, Bytes({80, 0, 0, 0}));
    EXPECT_FALSE(FileExists(path_ + ".bad"));
}

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndKeepTheirFirstSpelling) {
    RegKey key = Open(hive_, "Zr.ClassDlg.1\\Setting");
    ASSERT_EQ(Set(key, "SmtpPort", RegNumber, Bytes({25, 0, 0, 0})), RegStatus::Success);
    // A second opening in the same process joins the open transaction.
    RegKey upper = Open(hive_, "ZR.CLASSDLG.1\\SETTING");
    ASSERT_EQ(Set(upper, "SMTPPORT", RegNumber, Bytes({26, 0, 0, 0})), RegStatus::Success);

    EXPECT_EQ(Query(key, "smtpport").data, Bytes({26, 0, 0, 0}));
    EXPECT_EQ(CloseKey(upper), RegStatus::Success);
    EXPECT_FALSE(FileExists(path_));  // not written before the last key is closed
    EXPECT_EQ(CloseKey(key), RegStatus::Success);
    const std::string text = Text();
    EXPECT_EQ(text,
              "REGEDIT4\n\n[Zr.ClassDlg.1]\n\n[Zr.ClassDlg.1\\Setting]\n"
              "\"SmtpPort\"=dword:0000001a\n");
}

TEST_F(RegistryTest, ReadsFailAsTheWindowsCallsDo) {
    const RegKey key = Open(hive_, "Zr.ClassDlg.1\\Setting");
    ASSERT_EQ(Set(key, "Number", RegNumber, Bytes({1, 2, 3, 4})), RegStatus::Success);
    ASSERT_EQ(Set(key, "Text", RegText, std::string("abcdef\0", 7)), RegStatus::Success);
    const struct {
        const char* name;
        std::uint32_t bufferSize;
        RegStatus status;
        std::uint32_t sizeAfter;
    } cases[] = {
        {"Number", 0, RegStatus::MoreData, 4},      {"Number", 3, RegStatus::MoreData, 4},
        {"Number", 4, RegStatus::Success, 4},       {"Number", 100, RegStatus::Success, 4},
        {"Text", 6, RegStatus::MoreData, 7},        {"Text", 7, RegStatus::Success, 7},
        {"Missing", 100, RegStatus::NotFound, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " into " + std::to_string(c.bufferSize));
        std::vector<std::uint8_t> buffer(100, 0);
        std::uint32_t size = c.bufferSize;
        std::uint32_t type = 99;
        EXPECT_EQ(QueryValue(key, c.name, &type, buffer.data(), &size), c.status);
        if (c.status != RegStatus::NotFound) {
            EXPECT_EQ(size, c.sizeAfter);  // the size needed, also when it did not fit
        }
        if (c.status == RegStatus::Success) {
            EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + size), Query(key, c.name).data);
        }
    }
    // The null handle and a key that was never created fail every call.
    std::uint32_t size = 4;
    std::uint8_t buffer[4];
    const RegKey none;
    EXPECT_NE(QueryValue(none, "Number", nullptr, buffer, &size), RegStatus::Success);
    EXPECT_NE(SetValue(none, "Number", RegNumber, buffer, 4), RegStatus::Success);
    RegKey result;
    EXPECT_NE(CreateKey(none, "Setting", result), RegStatus::Success);
    EXPECT_FALSE(result);
    const RegKey ghost{&hive_, key.transaction, "Never\\Created"};
    EXPECT_NE(QueryValue(ghost, "Number", nullptr, buffer, &size), RegStatus::Success);
    EXPECT_NE(SetValue(ghost, "Number", RegNumber, buffer, 4), RegStatus::Success);
    RegKey closed = key;
    EXPECT_EQ(CloseKey(closed), RegStatus::Success);
    EXPECT_FALSE(closed);
}

TEST_F(RegistryTest, OnlyAFileThatIsNoHiveIsSetAside) {
    const std::string cases[] = {
        "",
        "garbage\n",
        "REGEDIT5\n[K]\n",
        "[K]\n\"A\"=dword:00000001\n",
        std::string("\0\1\2", 3),
        // regedit's own export of version 5 is UTF-16, which this store does not read.
        std::string("\xFF\xFEW\0i\0n\0", 8),
    };
    int round = 0;
    for (const auto& damaged : cases) {
        SCOPED_TRACE(::testing::PrintToString(damaged));
        test::WriteFile(path_, damaged);
        RegKey key = Open(hive_, "Zr.ClassDlg.1\\Setting");
        EXPECT_TRUE(key);
        EXPECT_EQ(CloseKey(key), RegStatus::Success);
        const std::string kept =
            round == 0 ? path_ + ".bad" : path_ + ".bad." + std::to_string(round);
        EXPECT_EQ(test::ReadFile(kept), damaged);
        EXPECT_EQ(Text(), "REGEDIT4\n\n[Zr.ClassDlg.1]\n\n[Zr.ClassDlg.1\\Setting]\n");
        const auto notes = hive_.TakeNotes();
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_NE(notes[0].find(kept), std::string::npos) << notes[0];
        ++round;
    }
}

struct Expected {
    const char* name;
    std::uint32_t type;
    std::string data;
};

// What regedit writes and reads for a key, and lines it would not take: each file is read
// without a loss beyond its odd line, which stays in the file as it stands.
TEST_F(RegistryTest, RegeditFormsAreReadAndAnOddLineCostsOnlyItself) {
    using namespace std::string_literals;
    const std::string number = Bytes({0x90, 0x1F, 0, 0});
    const std::string two = Bytes({2, 0, 0, 0});
    const struct {
        const char* label;
        std::string file;
        std::vector<Expected> values;  // of [K], in this order
        std::string oddLine;           // a line not read, kept as it stands; empty for none
    } cases[] = {
        {"short dword", "REGEDIT4\n[K]\n\"D\"=dword:1f90\n", {{"D", RegNumber, number}}, ""},
        {"dword in capitals",
         "REGEDIT4\n[K]\n\"D\"=DWORD:00001F90\n",
         {{"D", RegNumber, number}},
         ""},
        {"version 5 header, BOM, CR LF, trailing blanks",
         "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n[K]  \r\n"
         "\"D\"=dword:00001f90 \t\r\n",
         {{"D", RegNumber, number}},
         ""},
        {"comments and blank lines",
         "REGEDIT4\n; made by hand\n\n[K]\n\n; port\n\"D\"=dword:1f90\n\n",
         {{"D", RegNumber, number}},
         ""},
        {"hex over three lines",
         "REGEDIT4\n[K]\n\"B\"=hex:01,02,\\\n  03,\\\n  04\n",
         {{"B", RegBinary, Bytes({1, 2, 3, 4})}},
         ""},
        {"hex(N)",
         "REGEDIT4\n[K]\n\"E\"=hex(2):25,00\n\"N\"=hex(0):\n",
         {{"E", RegExpandText, std::string("%\0", 2)}, {"N", RegNone, ""}},
         ""},
        {"default value",
         "REGEDIT4\n[K]\n@=\"standard\"\n",
         {{"", RegText, std::string("standard\0", 9)}},
         ""},
        {"repeated section",
         "REGEDIT4\n[K]\n\"A\"=dword:2\n[Other]\n\"X\"=dword:3\n[k]\n\"D\"=dword:1f90\n",
         {{"A", RegNumber, two}, {"D", RegNumber, number}},
         ""},
        {"later line wins",
         "REGEDIT4\n[K]\n\"A\"=dword:1\n\"a\"=dword:2\n",
         {{"A", RegNumber, two}},
         ""},
        {"nine digits",
         "REGEDIT4\n[K]\n\"X\"=dword:123456789\n\"A\"=dword:2\n",
         {{"A", RegNumber, two}},
         "\"X\"=dword:123456789"},
        {"text cut off",
         "REGEDIT4\n[K]\n\"X\"=\"cut off\n\"A\"=dword:2\n",
         {{"A", RegNumber, two}},
         "\"X\"=\"cut off"},
        {"unknown escape",
         "REGEDIT4\n[K]\n\"X\"=\"tab\\t\"\n\"A\"=dword:2\n",
         {{"A", RegNumber, two}},
         "\"X\"=\"tab\\t\""},
        {"bad hex",
         "REGEDIT4\n[K]\n\"X\"=hex(3):012,\n\"A\"=dword:2\n",
         {{"A", RegNumber, two}},
         "\"X\"=hex(3):012,"},
        {"hex ending in a comma",
         "REGEDIT4\n[K]\n\"X\"=hex:01,\n\"A\"=dword:2\n",
         {{"A", RegNumber, two}},
         "\"X\"=hex:01,"},
        {"stray CR before the line end",
         "REGEDIT4\r\n[K]\r\n\"X\"=hex:01,\r\r\n\"A\"=dword:2\r\r\n",
         {{"A", RegNumber, two}},
         "\"X\"=hex:01,"},
        {"name without quotes",
         "REGEDIT4\n[K]\nX=1\n\"A\"=dword:2\n",
         {{"A", RegNumber, two}},
         "X=1"},
        {"broken key line",
         "REGEDIT4\n[K]\n[Broken\n\"A\"=dword:2\n",
         {{"A", RegNumber, two}},
         "[Broken"},
        {"value before any key",
         "REGEDIT4\n\"X\"=dword:1\n[K]\n\"A\"=dword:2\n",
         {{"A", RegNumber, two}},
         "\"X\"=dword:1"},
        {"continuation taking in a key line",
         "REGEDIT4\n[K]\n\"X\"=hex:01,\\\n[Other]\n\"A\"=dword:2\n",
         {{"A", RegNumber, two}},
         "\"X\"=hex:01,\\\n[Other]"},
        // Written before the next key, it must neither take in that key's line on the next
        // read nor become data there: a line that ends the data unread follows it.
        {"continuation cut off by the end of the file",
         "REGEDIT4\n[K]\n\"A\"=dword:2\n[Other]\n[K]\n\"X\"=hex:01,02\\",
         {{"A", RegNumber, two}},
         "\"X\"=hex:01,02\\\n;"},
        {"continuation cut off after a backslash",
         "REGEDIT4\n[K]\n\"A\"=dword:2\n[Other]\n[K]\n\"X\"=hex:01,\\\\\n",
         {{"A", RegNumber, two}},
         "\"X\"=hex:01,\\\\\n;"},
        {"hex running into a key line",
         "REGEDIT4\n[K]\n\"X\"=hex:01,02[K]\n\"A\"=dword:2\n",
         {{"A", RegNumber, two}},
         "\"X\"=hex:01,02[K]"},
        {"zero bytes",
         "REGEDIT4\n[K]\n\"X\"=hex:01,\0,02\n\"A\"=dword:2\n"s,
         {{"A", RegNumber, two}},
         "\"X\"=hex:01,\0,02"s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        test::WriteFile(path_, c.file);
        {
            RegistryHive hive(path_);
            RegKey key = Open(hive, "K");
            for (const auto& expected : c.values) {
                SCOPED_TRACE(expected.name);
                const Stored stored = Query(key, expected.name);
                EXPECT_EQ(stored.status, RegStatus::Success);
                EXPECT_EQ(stored.type, expected.type);
                EXPECT_EQ(stored.data, expected.data);
            }
            EXPECT_EQ(Query(key, "X").status, RegStatus::NotFound);
            // A change writes the file anew; the odd line goes with it.
            ASSERT_EQ(Set(key, "New", RegNumber, two), RegStatus::Success);
            ASSERT_EQ(CloseKey(key), RegStatus::Success);
            EXPECT_EQ(hive.TakeNotes().size(), c.oddLine.empty() ? 0u : 1u);
        }
        EXPECT_FALSE(FileExists(path_ + ".bad"));
        const std::string text = Text();
        if (!c.oddLine.empty()) {
            EXPECT_NE(text.find("\n" + c.oddLine + "\n"), std::string::npos) << text;
        }
        // What was written reads back to itself: the next write gives the same text.
        RegHiveData written;
        ASSERT_TRUE(RegHiveData::Parse(text, written));
        EXPECT_EQ(written.Format(), text);
        RegistryHive again(path_);
        RegKey key = Open(again, "K");
        for (const auto& expected : c.values) {
            EXPECT_EQ(Query(key, expected.name).data, expected.data) << expected.name << text;
        }
        EXPECT_EQ(Query(key, "New").data, two);
        // Setting a value of the odd line's name replaces the line.
        ASSERT_EQ(Set(key, "X", RegNumber, two), RegStatus::Success);
        ASSERT_EQ(CloseKey(key), RegStatus::Success);
        if (!c.oddLine.empty() && c.oddLine.front() == '"' &&
            c.label != std::string("value before any key")) {
            EXPECT_EQ(Text().find(c.oddLine), std::string::npos) << Text();
        }
    }
    // The repeated section added to [K]; [Other] kept its one value.
    RegHiveData parsed;
    ASSERT_TRUE(RegHiveData::Parse(
        "REGEDIT4\n[K]\n\"A\"=dword:2\n[Other]\n\"X\"=dword:3\n[K]\n\"D\"=dword:1f90\n", parsed));
    ASSERT_EQ(parsed.keys.size(), 2u);
    EXPECT_EQ(parsed.FindKey("Other")->values.size(), 1u);
    EXPECT_EQ(parsed.FindKey("K")->values.size(), 2u);
}

TEST_F(RegistryTest, EveryChangeReplacesTheFileWhole) {
    RegKey key = Open(hive_, "Zr.ClassDlg.1\\Setting");
    ASSERT_EQ(Set(key, "Body", RegText, std::string("first\0", 6)), RegStatus::Success);
    ASSERT_EQ(CloseKey(key), RegStatus::Success);
    const std::string before = Text();
    // A reader that opened the file before the change keeps reading the old file whole.
    std::FILE* reader = std::fopen(path_.c_str(), "rb");
    ASSERT_NE(reader, nullptr);
    key = Open(hive_, "Zr.ClassDlg.1\\Setting");
    ASSERT_EQ(Set(key, "Body", RegText, std::string("second, and longer\0", 19)),
              RegStatus::Success);
    ASSERT_EQ(CloseKey(key), RegStatus::Success);
    std::string old;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, reader)) > 0;) {
        old.append(buffer, n);
    }
    std::fclose(reader);
    EXPECT_EQ(old, before);
    EXPECT_NE(Text().find("second, and longer"), std::string::npos);
    // Nothing but the hive and its lock is left in the folder.
    EXPECT_EQ(FolderEntries(), (std::set<std::string>{"hive.reg", "hive.reg.lock"}));
}

TEST_F(RegistryTest, TheChangeStampMovesWithEveryChangeAndOnlyThen) {
    // Reached through a link, as a store often is; the stamp is the target's.
    const std::string link = dir_.File("link.reg");
    ASSERT_EQ(::symlink(path_.c_str(), link.c_str()), 0);
    RegistryHive linked(link);
    const std::string missing = linked.ChangeStamp("Zr.ClassDlg.1\\Setting");
    RegKey key = Open(linked, "Zr.ClassDlg.1\\Setting");
    ASSERT_EQ(Set(key, "Port", RegNumber, Bytes({80, 0, 0, 0})), RegStatus::Success);
    ASSERT_EQ(CloseKey(key), RegStatus::Success);
    const std::string first = linked.ChangeStamp("Zr.ClassDlg.1\\Setting");
    EXPECT_NE(first, missing);
    // Reading changes nothing, and neither does a transaction that writes nothing.
    key = Open(linked, "Zr.ClassDlg.1\\Setting");
    EXPECT_EQ(Query(key, "Port").data, Bytes({80, 0, 0, 0}));
    ASSERT_EQ(CloseKey(key), RegStatus::Success);
    EXPECT_EQ(linked.ChangeStamp("Zr.ClassDlg.1\\Setting"), first);
    // A value of the same size: the file is replaced, a new one.
    key = Open(hive_, "Zr.ClassDlg.1\\Setting");
    ASSERT_EQ(Set(key, "Port", RegNumber, Bytes({81, 0, 0, 0})), RegStatus::Success);
    ASSERT_EQ(CloseKey(key), RegStatus::Success);
    const std::string second = linked.ChangeStamp("Zr.ClassDlg.1\\Setting");
    EXPECT_NE(second, first);
    // A hand edit in place (an editor that writes into the same file).
    test::WriteFile(path_, Text() + "; edited\r\n");
    EXPECT_NE(linked.ChangeStamp("Zr.ClassDlg.1\\Setting"), second);
}

TEST_F(RegistryTest, MissingFoldersAreCreated) {
    RegistryHive deep(dir_.File("a/b/c/hive.reg"));
    RegKey key = Open(deep, "Zr.ClassDlg.1\\Setting");
    ASSERT_EQ(Set(key, "Port", RegNumber, Bytes({80, 0, 0, 0})), RegStatus::Success);
    ASSERT_EQ(CloseKey(key), RegStatus::Success);
    RegistryHive again(dir_.File("a/b/c/hive.reg"));
    EXPECT_EQ(Query(Open(again, "Zr.ClassDlg.1\\Setting"), "Port").data, Bytes({80, 0, 0, 0}));
}

TEST_F(RegistryTest, ATransactionWaitsForTheLockNoLongerThanItsBound) {
    test::WriteFile(path_, "REGEDIT4\n\n[K]\n");
    // Another process holds the lock and does not let go.
    FileLock held(path_ + ".lock", std::chrono::milliseconds(0));
    ASSERT_TRUE(held.Locked());
    RegistryHive hive(path_, std::chrono::milliseconds(200));
    RegKey key;
    EXPECT_EQ(CreateKey(RootKey(hive), "K", key), RegStatus::Failed);
    EXPECT_FALSE(key);
    EXPECT_NE(hive.LastError().find("held by another process"), std::string::npos)
        << hive.LastError();
    EXPECT_EQ(Text(), "REGEDIT4\n\n[K]\n");
}

// An update replaces the file the link names and keeps the file's owner, group and mode.
TEST_F(RegistryTest, UpdatesKeepTheFilesIdentity) {
    const std::string target = dir_.File("real/target.reg");
    std::filesystem::create_directories(dir_.File("real"));
    test::WriteFile(target, "REGEDIT4\n\n[K]\n");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
    }
    const std::string link = dir_.File("link.reg");
    std::filesystem::create_symlink("real/target.reg", link);

    RegistryHive hive(link);
    RegKey key = Open(hive, "K");
    ASSERT_EQ(Set(key, "A", RegNumber, Bytes({2, 0, 0, 0})), RegStatus::Success);
    ASSERT_EQ(CloseKey(key), RegStatus::Success) << hive.LastError();

    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_NE(test::ReadFile(target).find("\"A\"=dword:00000002"), std::string::npos);
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(info.st_uid, 65534u);
        EXPECT_EQ(info.st_gid, 65534u);
    }
    // A file the store creates is its user's alone.
    RegistryHive fresh(path_);
    key = Open(fresh, "K");
    ASSERT_EQ(CloseKey(key), RegStatus::Success);
    ASSERT_EQ(::stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST(RegistryHivePath, FollowsTheEnvironment) {
    const char* names[] = {"TOLVANE_REGISTRY", "XDG_CONFIG_HOME", "HOME"};
    std::optional<std::string> saved[3];
    for (int i = 0; i < 3; ++i) {
        if (const char* value = std::getenv(names[i])) {
            saved[i] = value;
        }
    }
    const struct {
        bool superuser;
        const char* registry;
        const char* xdg;
        const char* home;
        const char* expected;
        const char* why;
    } cases[] = {
        {false, "/r/hive.reg", "/x", "/h", "/r/hive.reg", "$TOLVANE_REGISTRY"},
        {false, "", "/x", "/h", "/x/tolvane/HKEY_CLASSES_ROOT.reg", "this user's store"},
        {false, nullptr, nullptr, "/h", "/h/.config/tolvane/HKEY_CLASSES_ROOT.reg",
         "this user's store"},
        {false, nullptr, "", "/h", "/h/.config/tolvane/HKEY_CLASSES_ROOT.reg",
         "this user's store"},
        // root shares the system service's store, unless told otherwise.
        {true, "/r/hive.reg", "/x", "/h", "/r/hive.reg", "$TOLVANE_REGISTRY"},
        {true, "", "/x", "/h", "/etc/tolvane/HKEY_CLASSES_ROOT.reg",
         "the system's store, as root"},
        {true, nullptr, nullptr, "/root", "/etc/tolvane/HKEY_CLASSES_ROOT.reg",
         "the system's store, as root"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.expected) + (c.superuser ? " as root" : ""));
        const char* values[] = {c.registry, c.xdg, c.home};
        for (int i = 0; i < 3; ++i) {
            if (values[i] != nullptr) {
                ::setenv(names[i], values[i], 1);
            } else {
                ::unsetenv(names[i]);
            }
        }
        const RegistryHive::Choice choice = RegistryHive::ClassesRoot(c.superuser);
        EXPECT_EQ(choice.path, c.expected);
        EXPECT_EQ(choice.why, c.why);
        if (c.superuser == (::geteuid() == 0)) {
            EXPECT_EQ(RegistryHive::ClassesRootPath(), c.expected);
        }
    }
    for (int i = 0; i < 3; ++i) {
        if (saved[i]) {
            ::setenv(names[i], saved[i]->c_str(), 1);
        } else {
            ::unsetenv(names[i]);
        }
    }
}

}  // namespace
}  // namespace tolvane
