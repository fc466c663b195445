#include "os/FileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "os/File.posix.h"

namespace tolvane {

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
    const std::string& target = path;
    // Not ending in the target's suffix, so a collector reading "*.prom" never picks it up.
    std::string temporary = target + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    // Readable by a collector running as another user, as a file made by hand would be.
    bool ok = ::fchmod(fd, 0644) == 0 && WriteAll(fd, bytes);
    ok = ::close(fd) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
    }
    return ok;
}

}  // namespace tolvane
