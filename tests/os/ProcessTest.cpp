#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "os/File.h"
#include "os/File.posix.h"
#include "os/Process.h"
#include "os/Socket.h"
#include "registry/Registry.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

using Args = std::vector<std::string>;

void MakeExecutable(const std::string& path, mode_t mode = 0755) {
    test::WriteFile(path, "#!/bin/sh\nexit 0\n");
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}

// Runs each case in its own current folder and PATH, and puts both back afterwards.
class FindProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedCwd_ = std::filesystem::current_path();
        if (const char* path = std::getenv("PATH")) {
            savedPath_ = path;
        }
        root_ = std::filesystem::canonical(dir_.Path()).string();
        for (const char* folder : {"cwd", "path1", "path2"}) {
            std::filesystem::create_directory(root_ + "/" + folder);
        }
        std::filesystem::current_path(root_ + "/cwd");
        ::setenv("PATH", (root_ + "/path1:" + root_ + "/path2").c_str(), 1);
    }
    void TearDown() override {
        std::filesystem::current_path(savedCwd_);
        if (savedPath_) {
            ::setenv("PATH", savedPath_->c_str(), 1);
        } else {
            ::unsetenv("PATH");
        }
    }

    test::TempDir dir_;
    std::string root_;
    std::filesystem::path savedCwd_;
    std::optional<std::string> savedPath_;
};

TEST_F(FindProgramTest, SearchesCurrentFolderThenPathInOrder) {
    const struct {
        const char* name;
        std::vector<std::string> executables;  // folders holding an executable "tool"
        std::vector<std::string> decoys;       // folders holding a "tool" that cannot run
        const char* expected;                  // folder of the result, "" for none
    } cases[] = {
        {"current folder before PATH", {"cwd", "path1", "path2"}, {}, "cwd"},
        {"PATH in its order", {"path1", "path2"}, {}, "path1"},
        {"last PATH folder", {"path2"}, {}, "path2"},
        {"a file without execute rights is skipped", {"path2"}, {"cwd", "path1"}, "path2"},
        {"nothing found", {}, {"cwd"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* folder : {"cwd", "path1", "path2"}) {
            std::filesystem::remove_all(root_ + "/" + folder + "/tool");
        }
        for (const auto& folder : c.executables) {
            MakeExecutable(root_ + "/" + folder + "/tool");
        }
        for (const auto& folder : c.decoys) {
            MakeExecutable(root_ + "/" + folder + "/tool", 0644);
        }
        const std::string expected = *c.expected == '\0' ? "" : root_ + "/" + c.expected + "/tool";
        EXPECT_EQ(FindProgram("tool"), expected);
    }
    // A folder of that name is not a program.
    std::filesystem::create_directory(root_ + "/cwd/folder");
    MakeExecutable(root_ + "/path2/folder");
    EXPECT_EQ(FindProgram("folder"), root_ + "/path2/folder");
}

TEST_F(FindProgramTest, ExecutableFolderComesFirst) {
    const std::string self = std::filesystem::path(ExecutablePath()).filename().string();
    ASSERT_FALSE(self.empty());
    MakeExecutable(root_ + "/cwd/" + self);
    MakeExecutable(root_ + "/path1/" + self);
    EXPECT_EQ(FindProgram(self), ExecutableDirectory() + self);
    EXPECT_EQ(ExecutableDirectory().back(), '/');
}

TEST_F(FindProgramTest, NameWithSlashIsTakenAsItStands) {
    std::filesystem::create_directory(root_ + "/cwd/sub");
    MakeExecutable(root_ + "/cwd/sub/tool");
    std::filesystem::create_directory(root_ + "/path1/sub");
    MakeExecutable(root_ + "/path1/sub/other");
    MakeExecutable(root_ + "/path1/tool");
    EXPECT_EQ(FindProgram("sub/tool"), "sub/tool");
    EXPECT_EQ(FindProgram("./sub/tool"), "./sub/tool");
    EXPECT_EQ(FindProgram(root_ + "/cwd/sub/tool"), root_ + "/cwd/sub/tool");
    EXPECT_EQ(FindProgram("sub/other"), "");  // never looked up in PATH
    EXPECT_EQ(FindProgram(root_ + "/missing/tool"), "");
    EXPECT_EQ(FindProgram(""), "");
}

// Descriptors open without close-on-exec that this process did not open itself (handed down by
// whoever started the tests); a child may see them, they are not ours.
std::set<int> ForeignInheritableDescriptors() {
    std::set<int> fds;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::stoi(entry.path().filename().string());
        const int flags = ::fcntl(fd, F_GETFD);
        if (fd > 2 && flags >= 0 && (flags & FD_CLOEXEC) == 0) {
            fds.insert(fd);
        }
    }
    return fds;
}

int CountDescriptorsOn(const std::string& path) {
    int count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code ignored;
        if (std::filesystem::read_symlink(entry.path(), ignored) == path) {
            ++count;
        }
    }
    return count;
}

std::string SocketTarget(int fd) {
    struct stat info {};
    EXPECT_EQ(::fstat(fd, &info), 0);
    return "socket:[" + std::to_string(info.st_ino) + "]";
}

TEST(ChildProcess, InheritsNoDescriptorOfTheProgram) {
    test::TempDir dir;
    const std::string root = std::filesystem::canonical(dir.Path()).string();
    const std::set<int> foreign = ForeignInheritableDescriptors();

    test::LoopbackOnlyListener listener;
    auto address = ResolveIPv4("127.0.0.1");
    ASSERT_TRUE(address);
    Socket socket = Socket::CreateBoundTcp();
    ASSERT_TRUE(socket.Connect(*address, listener.Port()));
    FileLock marker(root + "/marker.lock");
    ASSERT_TRUE(marker.Locked());

    // A registry call waiting for the hive's lock holds its own descriptor on the lock file
    // while the child starts.
    RegistryHive hive(root + "/hive.reg");
    const std::string hiveLock = root + "/hive.reg.lock";
    std::optional<FileLock> holder(std::in_place, hiveLock);
    RegStatus created{-1};
    std::thread writer([&] {
        RegKey key;
        created = CreateKey(RootKey(hive), "Zr.ClassDlg.1", key);
        CloseKey(key);
    });
    for (int i = 0; i < 1000 && CountDescriptorsOn(hiveLock) < 2; ++i) {
        ::usleep(10000);
    }
    ASSERT_EQ(CountDescriptorsOn(hiveLock), 2);

    EXPECT_NE(::fcntl(socket.Fd(), F_GETFD) & FD_CLOEXEC, 0);
    const std::string listing = root + "/fds.txt";
    ChildProcess child;
    ASSERT_TRUE(child.Start(Args{"sh", "-c", "ls -l /proc/self/fd > " + listing}));
    const ExitState state = child.Wait();
    holder.reset();
    writer.join();
    EXPECT_EQ(created, RegStatus::Success);
    ASSERT_EQ(state.exitCode, 0);

    // Every line of "ls -l" on /proc/self/fd ends in "N -> TARGET".
    std::istringstream lines(test::ReadFile(listing));
    std::string line;
    std::set<int> seen;
    while (std::getline(lines, line)) {
        const auto arrow = line.find(" -> ");
        if (arrow == std::string::npos) {
            continue;
        }
        const auto space = line.rfind(' ', arrow - 1);
        const int fd = std::stoi(line.substr(space + 1, arrow - space - 1));
        const std::string target = line.substr(arrow + 4);
        seen.insert(fd);
        SCOPED_TRACE(line);
        EXPECT_NE(target, SocketTarget(socket.Fd()));
        EXPECT_EQ(target.find(root + "/marker.lock"), std::string::npos);
        EXPECT_EQ(target.find(root + "/hive.reg"), std::string::npos);
        if (fd == 0) {
            EXPECT_EQ(target, "/dev/null");
        } else if (fd > 2 && foreign.count(fd) == 0) {
            // Only the listing program's own look at its descriptors.
            EXPECT_EQ(target.rfind("/proc/", 0), 0u);
        }
    }
    EXPECT_EQ(seen.count(0) + seen.count(1) + seen.count(2), 3u);
}

TEST(ChildProcess, ReportsExitCodesAndSignals) {
    const struct {
        Args argv;
        int exitCode;
    } cases[] = {
        {{"true"}, 0},
        {{"false"}, 1},
        {{"sh", "-c", "exit 2"}, 2},
        {{"sh", "-c", "kill -KILL $$"}, 128 + SIGKILL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argv.back());
        ChildProcess child;
        ASSERT_TRUE(child.Start(c.argv));
        const ExitState state = child.Wait();
        EXPECT_FALSE(state.running);
        EXPECT_TRUE(state.readable);
        EXPECT_EQ(state.exitCode, c.exitCode);
        // Once collected, the state stays as it was.
        EXPECT_EQ(child.Poll().exitCode, c.exitCode);
    }
    ChildProcess missing;
    EXPECT_FALSE(missing.Start("no-such-program-tolvane"));
    EXPECT_FALSE(missing.Started());
    EXPECT_FALSE(missing.Poll().readable);
}

TEST(ChildProcess, StartsWithDefaultSignalHandling) {
    // The monitor may ignore or block SIGTERM; a started service must still stop on it.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction saved {};
    ASSERT_EQ(::sigaction(SIGTERM, &ignore, &saved), 0);
    sigset_t blocked;
    sigset_t savedMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    ASSERT_EQ(::sigprocmask(SIG_BLOCK, &blocked, &savedMask), 0);

    ChildProcess child;
    const bool started = child.Start(Args{"sh", "-c", "kill -TERM $$; exit 0"});
    const ExitState state = child.Wait();

    ::sigprocmask(SIG_SETMASK, &savedMask, nullptr);
    ::sigaction(SIGTERM, &saved, nullptr);
    ASSERT_TRUE(started);
    EXPECT_EQ(state.exitCode, 128 + SIGTERM);
}

TEST(ChildProcess, PollAnswersAtOnceWhileTheChildRuns) {
    ChildProcess child;
    ASSERT_TRUE(child.Start("sh -c \"sleep 1; exit 3\""));
    const ExitState running = child.Poll();
    EXPECT_TRUE(running.running);
    EXPECT_TRUE(running.readable);
    EXPECT_EQ(child.Wait().exitCode, 3);
}

}  // namespace
}  // namespace tolvane
