// The secret's file on real files: made owner-only whatever the umask, and refused when its
// mode, kind or owner would let another account read it or plant it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "os/ProtectedSecret.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::string kRule =
    "; it must be a regular file of yours or root's that only its owner may read and write "
    "(chmod 600)";

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

TEST(ProtectedSecret, LiesBesideTheStore) {
    EXPECT_EQ(SecretPlace("/etc/tolvane/HKEY_CLASSES_ROOT.reg", "SmtpPassword"),
              "/etc/tolvane/HKEY_CLASSES_ROOT.SmtpPassword");
    EXPECT_EQ(SecretPlace("/tmp/store", "SmtpPassword"), "/tmp/store.SmtpPassword");
}

TEST(ProtectedSecret, StoresReadsAndRemovesOwnerOnlyWhateverTheUmask) {
    TempDir dir;
    const std::string place = dir.File("store/HKEY_CLASSES_ROOT.SmtpPassword");
    EXPECT_EQ(ReadSecret(place).outcome, StoredSecret::Outcome::Missing);

    const mode_t umask = ::umask(0);
    std::string reason;
    const bool stored = StoreSecret(place, "p\xC3\xA4ss word:1", reason);
    ::umask(umask);
    ASSERT_TRUE(stored) << reason;
    EXPECT_EQ(ModeOf(place), 0600u);
    const StoredSecret read = ReadSecret(place);
    EXPECT_EQ(read.outcome, StoredSecret::Outcome::Found) << read.reason;
    EXPECT_EQ(read.value, "p\xC3\xA4ss word:1");

    // A wider file is replaced by an owner-only one, not changed in place.
    ASSERT_EQ(::chmod(place.c_str(), 0644), 0);
    ASSERT_TRUE(StoreSecret(place, "second", reason)) << reason;
    EXPECT_EQ(ModeOf(place), 0600u);
    EXPECT_EQ(ReadSecret(place).value, "second");

    ASSERT_TRUE(StoreSecret(place, "", reason)) << reason;
    EXPECT_EQ(ReadSecret(place).outcome, StoredSecret::Outcome::Missing);
    EXPECT_EQ(::access(place.c_str(), F_OK), -1);
    // Removing what is not there is no failure.
    EXPECT_TRUE(StoreSecret(place, "", reason)) << reason;
}

TEST(ProtectedSecret, RefusesAFileOthersCouldReadOrPlant) {
    struct Case {
        const char* what;
        std::function<void(const std::string&)> make;
        std::string problem;
        bool asRoot = false;
    };
    auto file = [](mode_t mode) {
        return [mode](const std::string& path) {
            WriteFile(path, "secret");
            ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        };
    };
    const Case cases[] = {
        {"0644", file(0644), "group or others have access to it (mode 0644)", false},
        {"0640", file(0640), "group or others have access to it (mode 0640)", false},
        {"0604", file(0604), "group or others have access to it (mode 0604)", false},
        {"0620", file(0620), "group or others have access to it (mode 0620)", false},
        {"a folder", [](const std::string& path) { ASSERT_EQ(::mkdir(path.c_str(), 0700), 0); },
         "it is not a regular file", false},
        {"a symbolic link",
         [](const std::string& path) {
             WriteFile(path + ".target", "secret");
             ASSERT_EQ(::chmod((path + ".target").c_str(), 0600), 0);
             ASSERT_EQ(::symlink((path + ".target").c_str(), path.c_str()), 0);
         },
         "it is a symbolic link", false},
        {"another owner",
         [&](const std::string& path) {
             file(0600)(path);
             ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
         },
         "it belongs to another user (uid 65534)", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.asRoot && ::geteuid() != 0) {
            std::printf("skipped (needs root to give a file away): %s\n", c.what);
            continue;
        }
        TempDir dir;
        const std::string place = dir.File("HKEY_CLASSES_ROOT.SmtpPassword");
        c.make(place);
        const StoredSecret read = ReadSecret(place);
        EXPECT_EQ(read.outcome, StoredSecret::Outcome::Refused);
        EXPECT_EQ(read.value, "");
        EXPECT_EQ(read.reason, "the file " + place + " is refused: " + c.problem + kRule);
    }
}

}  // namespace
}  // namespace tolvane
