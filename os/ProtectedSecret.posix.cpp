#include "os/ProtectedSecret.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "os/File.h"
#include "os/File.posix.h"

namespace tolvane {

namespace {

constexpr const char* kRule =
    "; it must be a regular file of yours or root's that only its owner may read and write "
    "(chmod 600)";

std::string Failure(const char* what, const std::string& path, int error) {
    return std::string(what) + " " + path + ": " + std::strerror(error);
}

// What makes the opened file unfit to keep a secret; empty when nothing does.
std::string Problem(const struct stat& info) {
    if (!S_ISREG(info.st_mode)) {
        return "it is not a regular file";
    }
    if (info.st_uid != 0 && info.st_uid != ::geteuid()) {
        return "it belongs to another user (uid " + std::to_string(info.st_uid) + ")";
    }
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        return std::string("group or others have access to it (mode ") + mode + ")";
    }
    return {};
}

}  // namespace

std::string SecretPlace(const std::string& storePath, const std::string& name) {
    const std::string suffix = ".reg";
    const bool reg =
        storePath.size() > suffix.size() &&
        storePath.compare(storePath.size() - suffix.size(), suffix.size(), suffix) == 0;
    return (reg ? storePath.substr(0, storePath.size() - suffix.size()) : storePath) + "." + name;
}

StoredSecret ReadSecret(const std::string& place) {
    StoredSecret secret;
    // Never through a link, nor blocking on a FIFO planted under the name.
    const int fd = ::open(place.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        return secret;
    }
    secret.outcome = StoredSecret::Outcome::Refused;
    if (fd < 0) {
        secret.reason = errno == ELOOP
                            ? "the file " + place + " is refused: it is a symbolic link" + kRule
                            : Failure("cannot read", place, errno);
        return secret;
    }
    // Judged on what was opened, so that nothing can be swapped in between.
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        secret.reason = Failure("cannot read", place, errno);
    } else if (const std::string problem = Problem(info); !problem.empty()) {
        secret.reason = "the file " + place + " is refused: " + problem + kRule;
    } else if (!ReadAll(fd, secret.value)) {
        secret.reason = Failure("cannot read", place, errno);
        secret.value.clear();
    } else {
        secret.outcome = StoredSecret::Outcome::Found;
    }
    ::close(fd);
    return secret;
}

bool StoreSecret(const std::string& place, const std::string& secret, std::string& reason) {
    if (secret.empty()) {
        if (::unlink(place.c_str()) != 0 && errno != ENOENT) {
            reason = Failure("cannot remove", place, errno);
            return false;
        }
        return true;
    }
    errno = 0;
    if (!MakeDirectories(FolderOf(place)) ||
        !ReplaceFileAtomically(place, secret, S_IRUSR | S_IWUSR)) {
        reason = Failure("cannot write", place, errno != 0 ? errno : EIO);
        return false;
    }
    return true;
}

}  // namespace tolvane
