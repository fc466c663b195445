#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>

#include "monitor/RestartLog.h"
#include "os/CodePage.h"
#include "os/Process.h"
#include "tests/support/PosixSupport.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

class FixedClock final : public Clock {
public:
    void Pause(std::uint32_t) override {}
    std::time_t Now() override { return now; }
    std::time_t now = 1084784587;  // 2004/05/17 09:03:07 UTC
};

// Stamps in UTC, whatever the machine's zone.
class RestartLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) {
            savedTz_ = tz;
        }
        ::setenv("TZ", "UTC0", 1);
        ::tzset();
    }
    void TearDown() override {
        if (savedTz_) {
            ::setenv("TZ", savedTz_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    std::string Folder() const { return dir_.Path() + "/"; }
    std::string LogPath() const { return dir_.File("TOLVREBOOT.LOG"); }

    test::TempDir dir_;
    FixedClock clock_;
    std::optional<std::string> savedTz_;
};

TEST_F(RestartLogTest, FirstLineCreatesTheLog) {
    RestartLog log(clock_, Folder());
    EXPECT_EQ(log.Path(), LogPath());
    const std::string text = Sjis("接続できませんでした IISの再起動を開始します");
    log.Append(text);
    EXPECT_EQ(test::ReadFile(LogPath()), "2004/05/17 09:03:07\t" + text + "\r\n");

    clock_.now += 3661;
    log.Append(Sjis("停止完了"));
    EXPECT_EQ(
        test::ReadFile(LogPath()),
        "2004/05/17 09:03:07\t" + text + "\r\n2004/05/17 10:04:08\t" + Sjis("停止完了") + "\r\n");
}

TEST_F(RestartLogTest, AppendsBytesAsTheyAreWithLineFeedsAsCrLf) {
    const std::string stamp = "2004/05/17 09:03:07\t";
    const struct {
        const char* name;
        std::string existing;
        std::string text;
        std::string expected;
    } cases[] = {
        {"after a complete line", "old\r\n", "x", "old\r\n" + stamp + "x\r\n"},
        {"after a last line without line end", "no line end", "x", "no line end" + stamp + "x\r\n"},
        {"existing bytes kept", std::string("\0\xFF\r\n\n", 5), "x",
         std::string("\0\xFF\r\n\n", 5) + stamp + "x\r\n"},
        {"CP932 text byte for byte", "",
         Sjis("メールが送信出来ませんでした　理由：") + "\x95\x5C\x83\x5C",
         stamp + "\x83\x81\x81\x5B\x83\x8B\x82\xAA\x91\x97\x90\x4D\x8F\x6F\x97\x88\x82\xDC"
                 "\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81\x40\x97\x9D\x97\x52\x81\x46"
                 "\x95\x5C\x83\x5C\r\n"},
        {"LF inside the text", "", "a\nb\n", stamp + "a\r\nb\r\n\r\n"},
        {"CR LF inside the text keeps its CR", "", "a\r\nb", stamp + "a\r\r\nb\r\n"},
        {"empty text", "", "", stamp + "\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(LogPath());
        if (!c.existing.empty()) {
            test::WriteFile(LogPath(), c.existing);
        }
        RestartLog(clock_, Folder()).Append(c.text);
        EXPECT_EQ(test::ReadFile(LogPath()), c.expected);
    }
}

// Runs the append in a child process without root's rights, so that permissions count.
void AppendWithoutPrivileges(Clock& clock, const std::string& folder, const std::string& text) {
    const int outcome = test::RunUnprivileged("an append to the restart log", [&] {
        RestartLog(clock, folder).Append(text);
        return 0;
    });
    EXPECT_EQ(outcome, 0) << "the append must return quietly";
}

TEST_F(RestartLogTest, LineIsLostQuietlyWhenTheLogCannotBeWritten) {
    ASSERT_EQ(::chmod(dir_.Path().c_str(), 0755), 0);
    const struct {
        const char* name;
        mode_t folderMode;
        std::optional<mode_t> logMode;  // nothing: no log yet
        bool written;
    } cases[] = {
        {"writable log, for comparison", 0755, 0666, true},
        {"read-only log", 0755, 0444, false},
        {"no log in a read-only folder", 0555, std::nullopt, false},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = dir_.File("case" + std::to_string(n++));
        ASSERT_TRUE(std::filesystem::create_directory(folder));
        const std::string log = folder + "/TOLVREBOOT.LOG";
        if (c.logMode) {
            test::WriteFile(log, "kept\r\n");
            ASSERT_EQ(::chmod(log.c_str(), *c.logMode), 0);
        }
        ASSERT_EQ(::chmod(folder.c_str(), c.folderMode), 0);
        AppendWithoutPrivileges(clock_, folder + "/", "line");
        ::chmod(folder.c_str(), 0755);  // so that the temporary folder can be removed
        const std::string expected = std::string(c.logMode ? "kept\r\n" : "") +
                                     (c.written ? "2004/05/17 09:03:07\tline\r\n" : "");
        EXPECT_EQ(test::ReadFile(log), expected);
        EXPECT_EQ(std::filesystem::exists(log), c.logMode.has_value() || c.written);
    }
}

// A full disk or a size limit lets a write in only in part: the log must keep whole lines only,
// and the next line must not be glued to a torn one.
TEST_F(RestartLogTest, AWriteThatComesBackShortLeavesNoTornLine) {
    const std::string kept = "2004/05/17 09:00:00\tkept\r\n";
    const std::string line = "2004/05/17 09:03:07\tline\r\n";
    const struct {
        const char* name;
        std::size_t room;  // bytes the limit leaves after the kept line
        bool written;
    } cases[] = {
        {"room for one byte", 1, false},
        {"room for half the line", line.size() / 2, false},
        {"one byte short", line.size() - 1, false},
        {"room for the line exactly", line.size(), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::WriteFile(LogPath(), kept);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // As the monitor runs: a write past the limit fails instead of ending the program.
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{kept.size() + c.room, kept.size() + c.room};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                ::_exit(3);
            }
            RestartLog(clock_, Folder()).Append("line");
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(test::ReadFile(LogPath()), kept + (c.written ? line : ""));
        // Once there is room again, the next line starts on a line of its own.
        RestartLog(clock_, Folder()).Append("next");
        EXPECT_EQ(test::ReadFile(LogPath()),
                  kept + (c.written ? line : "") + "2004/05/17 09:03:07\tnext\r\n");
    }
}

TEST_F(RestartLogTest, LogThatIsNoFileLosesTheLineAndLaterLinesStillGo) {
    // Root writes through permissions, but not into a folder or a folder that is missing.
    ASSERT_TRUE(std::filesystem::create_directory(LogPath()));
    RestartLog(clock_, Folder()).Append("lost");
    EXPECT_TRUE(std::filesystem::is_directory(LogPath()));
    RestartLog(clock_, dir_.File("missing/")).Append("lost");
    EXPECT_FALSE(std::filesystem::exists(dir_.File("missing")));

    const std::string other = dir_.File("other/");
    std::filesystem::create_directory(other);
    RestartLog(clock_, other).Append("goes on");
    EXPECT_EQ(test::ReadFile(other + "TOLVREBOOT.LOG"), "2004/05/17 09:03:07\tgoes on\r\n");
}

TEST_F(RestartLogTest, EmptyFolderMeansTheCurrentFolder) {
    const auto saved = std::filesystem::current_path();
    std::filesystem::current_path(dir_.Path());
    RestartLog log(clock_, "");
    log.Append("here");
    std::filesystem::current_path(saved);
    EXPECT_EQ(log.Path(), "TOLVREBOOT.LOG");
    EXPECT_EQ(test::ReadFile(LogPath()), "2004/05/17 09:03:07\there\r\n");
}

// The one line of a log written by the helper program: its stamp and text.
std::string OnlyLineText(const std::string& log) {
    const std::string contents = test::ReadFile(log);
    static const std::regex line("\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\t([^\r\n]*)\r\n");
    std::smatch match;
    if (!std::regex_match(contents, match, line)) {
        ADD_FAILURE() << "not one log line: " << ::testing::PrintToString(contents);
        return {};
    }
    return match[1];
}

TEST_F(RestartLogTest, ExecutableInAJapaneseFolderLogsBesideItself) {
    const std::string root = std::filesystem::canonical(dir_.Path()).string();
    const struct {
        const char* name;
        std::string folder;      // where the program really is
        std::string linkFolder;  // where a symbolic link to it is run from, if any
    } cases[] = {
        {"UTF-8 name", root + "/表ソ", ""},
        // The folder's name in CP932 bytes: 表 and ソ both end in 0x5C.
        {"CP932 bytes", root + "/\x95\x5C\x83\x5C", ""},
        {"started through a link", root + "/表ソ/本体", root + "/リンク"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::create_directories(c.folder);
        const std::string program = c.folder + "/tolvane-log-child";
        std::filesystem::copy_file(TOLVANE_RESTART_LOG_CHILD, program,
                                   std::filesystem::copy_options::overwrite_existing);
        ASSERT_EQ(::chmod(program.c_str(), 0755), 0);
        std::string started = program;
        if (!c.linkFolder.empty()) {
            std::filesystem::create_directories(c.linkFolder);
            started = c.linkFolder + "/tolvane-log-child";
            std::filesystem::create_symlink(program, started);
        }
        const std::string text = Sjis("再起動") + c.name;
        ChildProcess child;
        ASSERT_TRUE(child.Start(std::vector<std::string>{started, text}));
        ASSERT_EQ(test::WaitForEnd(child, "the log-writing child").exitCode, 0);

        EXPECT_EQ(OnlyLineText(c.folder + "/TOLVREBOOT.LOG"), text + "|" + c.folder + "/");
        if (!c.linkFolder.empty()) {
            EXPECT_FALSE(std::filesystem::exists(c.linkFolder + "/TOLVREBOOT.LOG"));
        }
    }
}

TEST_F(RestartLogTest, ExecutableReplacedWhileRunningStillLogsInItsFolder) {
    const std::string folder = std::filesystem::canonical(dir_.Path()).string() + "/表ソ";
    std::filesystem::create_directories(folder);
    const std::string program = folder + "/tolvane-log-child";
    std::filesystem::copy_file(TOLVANE_RESTART_LOG_CHILD, program);
    ASSERT_EQ(::chmod(program.c_str(), 0755), 0);
    const std::string go = dir_.File("go");
    ChildProcess child;
    ASSERT_TRUE(child.Start(std::vector<std::string>{program, "after the upgrade", go}));

    // An upgrade puts a new file in the old one's place while the program runs.
    std::filesystem::remove(program);
    std::filesystem::copy_file(TOLVANE_RESTART_LOG_CHILD, program);
    test::WriteFile(go, "");
    ASSERT_EQ(test::WaitForEnd(child, "the log-writing child").exitCode, 0);
    EXPECT_EQ(OnlyLineText(folder + "/TOLVREBOOT.LOG"), "after the upgrade|" + folder + "/");
}

}  // namespace
}  // namespace tolvane
