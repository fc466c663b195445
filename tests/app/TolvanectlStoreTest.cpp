// tolvanectl's settings commands against the real store file, with real concurrent processes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "os/InstanceMarker.h"
#include "os/Process.h"
#include "registry/RegHiveData.h"
#include "registry/Registry.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

using test::ReadFile;
using test::RunResult;

class Install : public test::PrivateInstall {
public:
    Install() : PrivateInstall(TOLVANE_BIN_DIR, {"tolvanectl"}) {}

    // A number value as the store's file holds it; -1 when missing or not a RegNumber.
    long long Number(const std::string& name) const {
        RegHiveData hive;
        if (!RegHiveData::Parse(ReadFile(Store()), hive)) {
            return -1;
        }
        const RegKeyData* key = hive.FindKey("Zr.ClassDlg.1\\Setting");
        const RegValue* value = key != nullptr ? key->FindValue(name) : nullptr;
        if (value == nullptr || value->type != RegNumber || value->data.size() != 4) {
            return -1;
        }
        long long number = 0;
        for (std::size_t i = 4; i-- > 0;) {
            number = number * 256 + static_cast<unsigned char>(value->data[i]);
        }
        return number;
    }
};

// Two sets of different values at the same moment, round after round: each one's change must
// be in the store afterwards.
TEST(TolvanectlStore, ConcurrentSetsLoseNoValue) {
    Install install;
    ASSERT_EQ(install.Run({"set", "Port=1"}).exitCode, 0);
    int lost = 0;
    constexpr int kRounds = 200;
    for (int round = 0; round < kRounds; ++round) {
        const std::string port = std::to_string(1000 + round);
        const std::string interval = std::to_string(1 + round);
        ChildProcess first;
        ChildProcess second;
        ASSERT_TRUE(first.Start(
            std::vector<std::string>{install.Bin("tolvanectl"), "set", "Port=" + port}));
        ASSERT_TRUE(second.Start(
            std::vector<std::string>{install.Bin("tolvanectl"), "set", "Interval=" + interval}));
        ASSERT_EQ(first.Wait().exitCode, 0);
        ASSERT_EQ(second.Wait().exitCode, 0);
        lost += install.Number("Port") != 1000 + round ? 1 : 0;
        lost += install.Number("Interval") != 1 + round ? 1 : 0;
    }
    EXPECT_EQ(lost, 0) << "of " << 2 * kRounds << " changes";
}

// While a copy runs, set still stores, and says which copy takes the change and when.
TEST(TolvanectlStore, SetBesideARunningCopySaysWhichCopyTakesTheChange) {
    Install install;
    const RunResult alone = install.Run({"set", "WithMail=1"});
    EXPECT_EQ(alone.exitCode, 0);
    EXPECT_EQ(alone.err, "");
    const std::string pid = std::to_string(::getpid());
    const std::string monitor = "takes the change at its next check";
    const std::string window =
        "keeps the values in its fields and writes its interval, port and check boxes back at "
        "its next Save";
    const struct {
        std::optional<InstanceMarker::Program> announced;
        std::string said;
    } cases[] = {
        {InstanceMarker::Program::Tolvanectl,
         "tolvanectl: stored; tolvanectl monitor (process " + pid + ") " + monitor + "\n"},
        {InstanceMarker::Program::Window,
         "tolvanectl: stored; the window of tolvane (process " + pid + ") " + window + "\n"},
        // A holder that has not said what it is: both rules.
        {std::nullopt, "tolvanectl: stored; another copy of tolvane runs: tolvanectl monitor " +
                           monitor + "; the window " + window + "\n"},
    };
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        InstanceMarker running(InstanceMarker::ProgramName());
        ASSERT_EQ(running.State(), InstanceMarker::Claim::Held);
        if (c.announced) {
            running.Announce(*c.announced);
        }
        const std::string from = "admin" + std::to_string(++round) + "@example.jp";
        const RunResult beside = install.Run({"set", "From=" + from});
        EXPECT_EQ(beside.exitCode, 0);
        EXPECT_EQ(beside.err, c.said);
        EXPECT_NE(install.Run({"settings"}).out.find("From=" + from + "\n"), std::string::npos);
    }
}

// The longest text the store reads back has 65,534 bytes in CP932 (65,535 with its
// terminator); set refuses a longer one and leaves the store as it was.
TEST(TolvanectlStore, SetTakesTextsUpToWhatTheStoreReadsBack) {
    std::string wide34;  // 32,767 times あ: 65,534 bytes in CP932
    for (int i = 0; i < 32767; ++i) {
        wide34 += "あ";
    }
    const struct {
        const char* label;
        std::string text;
        bool taken;
    } cases[] = {
        {"65,534 bytes", std::string(65534, 'b'), true},
        {"65,535 bytes", std::string(65535, 'b'), false},
        {"65,534 CP932 bytes", wide34, true},
        {"65,536 CP932 bytes", wide34 + "あ", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Install install;
        ASSERT_EQ(install.Run({"set", "Port=81"}).exitCode, 0);
        const std::string before = ReadFile(install.Store());
        const RunResult set = install.Run({"set", "Port=82", "Body=" + c.text});
        const RunResult shown = install.Run({"settings"});
        if (c.taken) {
            EXPECT_EQ(set.exitCode, 0) << set.err;
            EXPECT_NE(shown.out.find("\nBody=" + c.text + "\n"), std::string::npos);
        } else {
            EXPECT_EQ(set.exitCode, 2);
            EXPECT_NE(set.err.find("Body"), std::string::npos) << set.err;
            EXPECT_EQ(ReadFile(install.Store()), before);
        }
        EXPECT_EQ(shown.err, "");
    }
}

// A store that cannot be read is left as it is: settings shows the defaults and says why, set
// stores nothing and fails.
TEST(TolvanectlStore, UnreadableStoreIsReportedAndLeftAlone) {
    Install install;
    std::filesystem::create_directories(install.Store());
    const RunResult shown = install.Run({"settings"});
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_NE(shown.out.find("Port=80\n"), std::string::npos);
    EXPECT_NE(shown.err.find("cannot read " + install.Store() + ": Is a directory"),
              std::string::npos)
        << shown.err;
    const RunResult set = install.Run({"set", "Port=81"});
    EXPECT_EQ(set.exitCode, 1);
    EXPECT_NE(set.err.find("Is a directory"), std::string::npos) << set.err;
    EXPECT_NE(set.err.find("nothing was stored"), std::string::npos) << set.err;
    EXPECT_TRUE(std::filesystem::is_directory(install.Store()));
    EXPECT_FALSE(std::filesystem::exists(install.Store() + ".bad"));
}

// A value of another type is not read: settings, which only reads, names it and leaves it as
// it is; set, which stores all the values, says that it replaces it.
TEST(TolvanectlStore, ValuesOfAnotherTypeAreNamedAndOnlyASetReplacesThem) {
    Install install;
    ASSERT_EQ(install.Run({"set", "Port=81"}).exitCode, 0);
    std::string text = ReadFile(install.Store());
    text.replace(text.find("\"Port\"=dword:00000051"), 21, "\"Port\"=\"8080\"");
    text.replace(text.find("\"SmtpPort\"=dword:00000019"), 25,
                 "\"SmtpPort\"=hex(b):db,09,00,00,00,00,00,00");
    test::WriteFile(install.Store(), text);
    const RunResult shown = install.Run({"settings"});
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_NE(shown.out.find("Port=80\n"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("SmtpPort=25\n"), std::string::npos) << shown.out;
    EXPECT_NE(shown.err.find("Port is stored as REG_SZ, not as REG_DWORD: it cannot be read and "
                             "is left as it is"),
              std::string::npos)
        << shown.err;
    EXPECT_NE(shown.err.find("SmtpPort is stored as REG_QWORD"), std::string::npos) << shown.err;
    EXPECT_EQ(ReadFile(install.Store()), text);

    const RunResult set = install.Run({"set", "Interval=5"});
    EXPECT_EQ(set.exitCode, 0);
    EXPECT_NE(set.err.find("Port is stored as REG_SZ, not as REG_DWORD: it cannot be read and "
                           "is overwritten"),
              std::string::npos)
        << set.err;
    EXPECT_EQ(install.Number("Port"), 80);
    EXPECT_EQ(install.Number("Interval"), 5);
    EXPECT_EQ(install.Run({"settings"}).err, "");
}

// A line the store cannot read is named on standard error; a file that is no store at all is
// set aside, and that is said too.
TEST(TolvanectlStore, OddLinesAndSetAsideFilesAreNamed) {
    Install install;
    ASSERT_EQ(install.Run({"set", "Port=81"}).exitCode, 0);
    std::string text = ReadFile(install.Store());
    text.replace(text.find("\"Port\"=dword:00000051"), 21, "\"Port\"=dword:eighty-one");
    test::WriteFile(install.Store(), text);
    const RunResult odd = install.Run({"settings"});
    EXPECT_EQ(odd.exitCode, 0);
    EXPECT_NE(odd.out.find("Port=80\n"), std::string::npos);
    EXPECT_NE(odd.err.find("could not read line 6"), std::string::npos) << odd.err;
    EXPECT_EQ(install.Run({"settings"}).err, "") << "the value was written back";

    test::WriteFile(install.Store(), "Port=81\n");
    const RunResult setAside = install.Run({"set", "Interval=5"});
    EXPECT_EQ(setAside.exitCode, 0);
    EXPECT_NE(setAside.err.find("kept as " + install.Store() + ".bad"), std::string::npos)
        << setAside.err;
    EXPECT_EQ(ReadFile(install.Store() + ".bad"), "Port=81\n");
    EXPECT_EQ(install.Number("Interval"), 5);
}

}  // namespace
}  // namespace tolvane
