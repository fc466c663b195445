#include "registry/Registry.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "os/File.h"
#include "os/File.posix.h"
#include "registry/RegHiveData.h"

namespace tolvane {

// The hive file as one transaction has it: the lock, what was read and whether it changed.
struct RegOpenState {
    std::string target;  // the file itself, links followed
    std::optional<FileLock> lock;
    std::string lockProblem;
    int lockError = 0;
    RegHiveData data;
    bool changed = false;
    // The file's identity, which a replacement keeps.
    bool existed = false;
    uid_t owner = 0;
    gid_t group = 0;
    mode_t mode = 0600;
};

namespace {

std::string Reason(const std::string& what, const std::string& path, int error) {
    return what + " " + path + ": " + std::strerror(error);
}

// A refusal of this account is told apart from other failures: another account could do it.
RegStatus StatusOf(int error) {
    return error == EACCES || error == EPERM || error == EROFS ? RegStatus::AccessDenied
                                                               : RegStatus::Failed;
}

// Follows symbolic links to the file they finally name, which need not exist yet, so that an
// update replaces the link's target and leaves the link.
std::string ResolveLinks(std::string path) {
    for (int depth = 0; depth < 40; ++depth) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return path;
        }
        std::string target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length <= 0) {
            return path;
        }
        target.resize(static_cast<std::size_t>(length));
        path = target.front() == '/' ? target : FolderOf(path) + "/" + target;
    }
    return path;
}

enum class ReadResult { Read, NoHive, Failed };

// Reads the file into the state, with the reason when it cannot be read. A missing file is an
// empty hive.
ReadResult ReadFile(RegOpenState& open, std::string& reason, int& error) {
    const int fd = ::open(open.target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return ReadResult::Read;
        }
        error = errno;
        reason = Reason("cannot read", open.target, error);
        return ReadResult::Failed;
    }
    struct stat info {};
    std::string text;
    if (::fstat(fd, &info) != 0) {
        error = errno;
    } else if (!S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    } else if (!ReadAll(fd, text)) {
        error = errno;
    }
    ::close(fd);
    if (error != 0) {
        reason = Reason("cannot read", open.target, error);
        return ReadResult::Failed;
    }
    open.existed = true;
    open.owner = info.st_uid;
    open.group = info.st_gid;
    open.mode = info.st_mode & 07777;
    if (!RegHiveData::Parse(text, open.data)) {
        open.data = RegHiveData{};
        return ReadResult::NoHive;
    }
    return ReadResult::Read;
}

// Keeps a file that is no hive at all beside, as "*.bad"; the kept name, or empty.
std::string SetAside(const std::string& target) {
    std::string kept = target + ".bad";
    for (int n = 1; FileExists(kept) && n < 1000; ++n) {
        kept = target + ".bad." + std::to_string(n);
    }
    return std::rename(target.c_str(), kept.c_str()) == 0 ? kept : std::string();
}

// Replaces the file in one step with its owner, group and mode; the reason when it cannot.
// Whether the file may be replaced: its own permission counts, though replacing it needs only
// the folder's. 0, or the error.
int CheckFileWritable(const std::string& target) {
    if (const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); fd >= 0) {
        ::close(fd);
    } else if (errno != ENOENT) {
        return errno;
    }
    return ::access(FolderOf(target).c_str(), W_OK) == 0 ? 0 : errno;
}

std::string WriteFile(const RegOpenState& open, int& error) {
    error = CheckFileWritable(open.target);
    if (error != 0) {
        return Reason("cannot write", open.target, error);
    }
    std::string temporary = open.target + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return Reason("cannot write", open.target, error);
    }
    auto check = [&error](bool done) {
        if (!done && error == 0) {
            error = errno != 0 ? errno : EIO;
        }
    };
    struct stat info {};
    check(::fstat(fd, &info) == 0);
    if (open.existed && (info.st_uid != open.owner || info.st_gid != open.group)) {
        check(::fchown(fd, open.owner, open.group) == 0);
    }
    check(::fchmod(fd, open.existed ? open.mode : 0600) == 0);
    check(WriteAll(fd, open.data.Format()));
    check(::fsync(fd) == 0);
    check(::close(fd) == 0);
    if (error == 0) {
        check(::rename(temporary.c_str(), open.target.c_str()) == 0);
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
        return Reason("cannot write", open.target, error);
    }
    const int folder = ::open(FolderOf(open.target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return {};
}

}  // namespace

RegistryHive::RegistryHive(std::string path, std::chrono::milliseconds lockWait)
    : path_(std::move(path)), lockWait_(lockWait) {}

RegistryHive::~RegistryHive() = default;

RegistryHive::Choice RegistryHive::ClassesRoot() {
    return ClassesRoot(::geteuid() == 0);
}

RegistryHive::Choice RegistryHive::ClassesRoot(bool superuser) {
    if (const char* path = std::getenv("TOLVANE_REGISTRY"); path != nullptr && *path != '\0') {
        return {path, "$TOLVANE_REGISTRY"};
    }
    // root's programs and the system service share one store: `sudo tolvanectl set` changes
    // what the service monitors with.
    if (superuser) {
        return {"/etc/tolvane/HKEY_CLASSES_ROOT.reg", "the system's store, as root"};
    }
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0') {
        config = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        config = std::string(home) + "/.config";
    } else {
        config = ".config";
    }
    return {config + "/tolvane/HKEY_CLASSES_ROOT.reg", "this user's store"};
}

std::string RegistryHive::ChangeStamp(const std::string&) const {
    struct stat info {};
    if (::stat(ResolveLinks(path_).c_str(), &info) != 0) {
        return "none " + std::to_string(errno);
    }
    // Replaced in one step, the file gets a new inode; the time in nanoseconds and the size
    // catch a change in place within the same second.
    return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" +
           std::to_string(info.st_size) + ":" + std::to_string(info.st_mtim.tv_sec) + "." +
           std::to_string(info.st_mtim.tv_nsec);
}

RegStatus RegistryHive::Begin() {
    auto open = std::make_unique<RegOpenState>();
    open->target = ResolveLinks(path_);
    const std::string folder = FolderOf(open->target);
    errno = 0;
    if (!MakeDirectories(folder)) {
        // A plain file where a folder belongs fails with "exists".
        const int error = errno == 0 || errno == EEXIST ? ENOTDIR : errno;
        Fail(Reason("cannot create the folder", folder, error));
        return StatusOf(error);
    }
    const std::string lockPath = open->target + ".lock";
    open->lock.emplace(lockPath, lockWait_);
    if (!open->lock->Opened()) {
        // A folder we may not write in can still be read: the file is only ever replaced
        // whole. Only a change needs the lock.
        open->lockError = open->lock->Error();
        open->lockProblem = Reason("cannot lock", lockPath, open->lockError);
    } else if (!open->lock->Locked()) {
        Fail(open->target + " is held by another process; waited " +
             std::to_string(lockWait_.count() / 1000) + " s for it");
        return RegStatus::Failed;
    }
    std::string problem;
    int error = 0;
    const ReadResult read = ReadFile(*open, problem, error);
    if (read == ReadResult::NoHive) {
        // Never overwrite what is no hive at all: keep it beside and start from empty.
        const std::string kept = open->lock->Locked() ? SetAside(open->target) : std::string();
        if (kept.empty()) {
            Fail(open->target + " is no registry file and cannot be set aside" +
                 (open->lockProblem.empty() ? std::string() : ": " + open->lockProblem));
            return RegStatus::Failed;
        }
        Note(open->target + " is no registry file; kept as " + kept +
             ", the settings start afresh");
    } else if (read == ReadResult::Failed) {
        Fail(problem);
        return StatusOf(error);
    }
    if (const auto& lines = open->data.unreadLines; !lines.empty()) {
        std::string list;
        for (const std::size_t line : lines) {
            list += (list.empty() ? "" : ", ") + std::to_string(line);
            if (list.size() > 60) {
                list += ", ...";
                break;
            }
        }
        Note(open->target + ": could not read line" + (lines.size() > 1 ? "s " : " ") + list);
    }
    open_ = std::move(open);
    return RegStatus::Success;
}

RegStatus RegistryHive::Commit() {
    const std::unique_ptr<RegOpenState> open = std::move(open_);
    if (!open || !open->changed) {
        return RegStatus::Success;
    }
    int error = open->lockError;
    const std::string problem = open->lock->Locked() ? WriteFile(*open, error) : open->lockProblem;
    if (!problem.empty()) {
        Fail(problem);
        return StatusOf(error);
    }
    return RegStatus::Success;
}

RegStatus RegistryHive::OpenKey(const std::string& path) {
    if (!open_) {
        return RegStatus::InvalidHandle;
    }
    // A file may hold a key without a line for its parent, which is there all the same.
    for (const RegKeyData& key : open_->data.keys) {
        const std::string_view held(key.path);
        if (held.size() >= path.size() && SameRegName(held.substr(0, path.size()), path) &&
            (held.size() == path.size() || held[path.size()] == '\\')) {
            return RegStatus::Success;
        }
    }
    return RegStatus::NotFound;
}

RegStatus RegistryHive::Writable(const std::string&) {
    if (!open_) {
        return RegStatus::InvalidHandle;
    }
    if (!open_->lock->Locked()) {
        Fail(open_->lockProblem);
        return StatusOf(open_->lockError);
    }
    if (const int error = CheckFileWritable(open_->target); error != 0) {
        Fail(Reason("cannot write", open_->target, error));
        return StatusOf(error);
    }
    return RegStatus::Success;
}

std::string RegistryHive::Where(const std::string&) const {
    return path_;
}

RegStatus RegistryHive::CreateKey(const std::string& path) {
    if (!open_) {
        return RegStatus::InvalidHandle;
    }
    // Creating a key creates its missing parents, as the registry does.
    std::size_t at = 0;
    while (true) {
        at = path.find('\\', at);
        const std::string part = path.substr(0, at);
        if (open_->data.FindKey(part) == nullptr) {
            open_->data.AddKey(part);
            open_->changed = true;
        }
        if (at == std::string::npos) {
            return RegStatus::Success;
        }
        ++at;
    }
}

RegStatus RegistryHive::ReadValue(const std::string& key, const std::string& name,
                                  RegValue& value) {
    const RegKeyData* found = open_ ? open_->data.FindKey(key) : nullptr;
    if (found == nullptr) {
        return RegStatus::InvalidHandle;
    }
    const RegValue* stored = found->FindValue(name);
    if (stored == nullptr) {
        return RegStatus::NotFound;
    }
    value = *stored;
    return RegStatus::Success;
}

RegStatus RegistryHive::SetValue(const std::string& key, const std::string& name,
                                 std::uint32_t type, const std::uint8_t* data, std::uint32_t size) {
    RegKeyData* found = open_ ? open_->data.FindKey(key) : nullptr;
    if (found == nullptr) {
        return RegStatus::InvalidHandle;
    }
    RegValue value{name, type,
                   std::string(reinterpret_cast<const char*>(data), data != nullptr ? size : 0)};
    const RegValue* existing = found->FindValue(name);
    if (existing == nullptr || existing->type != value.type || existing->data != value.data) {
        found->SetValue(std::move(value));
        open_->changed = true;
    }
    return RegStatus::Success;
}

}  // namespace tolvane
