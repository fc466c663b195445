// The lock around name lookups: a per-user name, and nothing planted under it can block the
// program, lead it through a link or let another user hold its lookups.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "os/ResolverLock.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uid_t kNobody = 65534;

class EnvironmentValue {
public:
    EnvironmentValue(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        Set(value);
    }
    ~EnvironmentValue() { Set(old_); }

private:
    void Set(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name_, value->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    const char* name_;
    std::optional<std::string> old_;
};

TEST(ResolverLockTest, DefaultNameBelongsToTheUser) {
    const std::string lockFolder = fs::is_directory("/run/lock") ? "/run/lock/" : "/tmp/";
    const std::string perUser = lockFolder + "SWAPPREENTRANTFUNCSWAPPREENTRANTFUNC-" +
                                std::to_string(::geteuid()) + ".lock";
    const struct {
        std::optional<std::string> runtime;
        std::string name;
    } cases[] = {
        {"/run/user/1000", "/run/user/1000/SWAPPREENTRANTFUNCSWAPPREENTRANTFUNC.lock"},
        {std::nullopt, perUser},
        {"", perUser},
        {"relative/folder", perUser},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.runtime.value_or("(unset)"));
        EnvironmentValue runtime("XDG_RUNTIME_DIR", c.runtime);
        EXPECT_EQ(ResolverLock::DefaultName(), c.name);
    }
}

TEST(ResolverLockTest, OnlyARegularFileOfTheUserServes) {
    test::TempDir dir;
    const std::string name = dir.File("resolver.lock");
    const std::string target = dir.File("target");
    const struct {
        const char* what;
        std::function<void()> plant;
        bool locked;
        bool needsRoot;
    } cases[] = {
        {"nothing: created", [] {}, true, false},
        {"the user's own file", [&] { test::WriteFile(name, ""); }, true, false},
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(name.c_str(), 0666), 0); }, false, false},
        {"a link to a file",
         [&] {
             test::WriteFile(target, "");
             fs::create_symlink(target, name);
         },
         false, false},
        {"a link to nothing", [&] { fs::create_symlink(target, name); }, false, false},
        {"a folder", [&] { fs::create_directory(name); }, false, false},
        {"another user's file",
         [&] {
             test::WriteFile(name, "");
             ASSERT_EQ(::chown(name.c_str(), kNobody, kNobody), 0);
         },
         false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsRoot && ::geteuid() != 0) {
            continue;  // only root can give a file to another user
        }
        fs::remove_all(name);
        fs::remove_all(target);
        c.plant();
        {
            ResolverLock lock(name, 30s);
            EXPECT_EQ(lock.Locked(), c.locked);
            if (c.locked) {
                ResolverLock second(name, 0ms);
                EXPECT_FALSE(second.Locked()) << "one lookup at a time";
            }
        }
        struct stat info {};
        ASSERT_EQ(::lstat(name.c_str(), &info), 0);
        if (c.locked) {
            EXPECT_TRUE(S_ISREG(info.st_mode));
            EXPECT_EQ(info.st_uid, ::geteuid());
        }
        if (std::string(c.what) == "a link to nothing") {
            EXPECT_FALSE(fs::exists(target)) << "nothing is created through a link";
        }
    }
}

}  // namespace
}  // namespace tolvane
