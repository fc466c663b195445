#include "standins/TrustedPath.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>

namespace tolvane {

namespace {

constexpr int kMostLinks = 40;  // as the kernel's own limit on links in one path

std::deque<std::string> Components(const std::string& path) {
    std::deque<std::string> parts;
    std::size_t at = 0;
    while (at <= path.size()) {
        auto end = path.find('/', at);
        if (end == std::string::npos) {
            end = path.size();
        }
        if (end > at) {
            parts.push_back(path.substr(at, end - at));
        }
        at = end + 1;
    }
    return parts;
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

std::string Parent(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

bool OwnerTrusted(const struct stat& info, TrustedOwners owners) {
    return info.st_uid == 0 || (owners == TrustedOwners::UserAndRoot && info.st_uid == ::geteuid());
}

bool WritableByOthers(const struct stat& info) {
    return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// What is wrong with one entry met on the way; empty when nothing is.
std::string EntryProblem(const std::string& path, const struct stat& info, bool last,
                         TrustedOwners owners) {
    const char* what = S_ISLNK(info.st_mode)   ? "the link "
                       : S_ISDIR(info.st_mode) ? "the folder "
                                               : "";
    if (!OwnerTrusted(info, owners)) {
        return what + path +
               (owners == TrustedOwners::RootOnly ? " does not belong to root (uid "
                                                  : " belongs to another user (uid ") +
               std::to_string(info.st_uid) + ")";
    }
    if (S_ISDIR(info.st_mode) && WritableByOthers(info) && (info.st_mode & S_ISVTX) == 0) {
        return what + path + " is writable by group or others";
    }
    if (last && !S_ISLNK(info.st_mode) && !S_ISREG(info.st_mode)) {
        return path + " is not a regular file";
    }
    if (last && S_ISREG(info.st_mode) && WritableByOthers(info)) {
        return path + " is writable by group or others";
    }
    return {};
}

}  // namespace

bool IsTrustedPath(const std::string& path, std::string& problem, TrustedOwners owners) {
    std::string start = path;
    if (start.empty() || start[0] != '/') {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd) == nullptr) {
            problem = std::string("the current folder cannot be read: ") + std::strerror(errno);
            return false;
        }
        start = Join(cwd, start);
    }
    std::deque<std::string> pending = Components(start);
    std::string current = "/";
    struct stat info {};
    if (::lstat("/", &info) != 0 || !(problem = EntryProblem("/", info, false, owners)).empty()) {
        return false;
    }
    int links = 0;
    while (!pending.empty()) {
        const std::string name = pending.front();
        pending.pop_front();
        if (name == ".") {
            continue;
        }
        if (name == "..") {
            current = Parent(current);
            continue;
        }
        const std::string next = Join(current, name);
        if (::lstat(next.c_str(), &info) != 0) {
            problem = next + ": " + std::strerror(errno);
            return false;
        }
        problem = EntryProblem(next, info, pending.empty(), owners);
        if (!problem.empty()) {
            return false;
        }
        if (S_ISLNK(info.st_mode)) {
            char target[PATH_MAX];
            const ssize_t length = ::readlink(next.c_str(), target, sizeof target - 1);
            if (length <= 0 || ++links > kMostLinks) {
                problem = next + ": the link cannot be followed";
                return false;
            }
            const std::string to(target, static_cast<std::size_t>(length));
            auto parts = Components(to);
            pending.insert(pending.begin(), parts.begin(), parts.end());
            if (to[0] == '/') {
                current = "/";
            }
            continue;
        }
        if (!pending.empty() && !S_ISDIR(info.st_mode)) {
            problem = next + " is not a folder";
            return false;
        }
        current = next;
    }
    if (!S_ISREG(info.st_mode)) {
        problem = start + " is not a regular file";
        return false;
    }
    return true;
}

}  // namespace tolvane
