#include "os/FileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "os/File.posix.h"

namespace tolvane {

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, unsigned mode) {
    const std::string& target = path;
    // Not ending in the target's suffix, so a collector reading "*.prom" never picks it up.
    // mkostemp makes it 0600, so it is never wider than the mode asked for, whatever the umask.
    std::string temporary = target + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, bytes);
    ok = ::close(fd) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        const int error = errno;
        ::unlink(temporary.c_str());
        errno = error;
    }
    return ok;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
    // Readable by a collector running as another user, as a file made by hand would be.
    return ReplaceFileAtomically(path, bytes, 0644);
}

}  // namespace tolvane
