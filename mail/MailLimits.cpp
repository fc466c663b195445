#include "mail/MailLimits.h"

#include "platform/File.h"

namespace tolvane {

std::string MailLimits::DefaultResolverLockPath() {
    // /run/lock is the machine's folder for lock files; /tmp where it is missing.
    const std::string folder = FileExists("/run/lock/.") ? "/run/lock/" : "/tmp/";
    return folder + "SWAPPREENTRANTFUNCSWAPPREENTRANTFUNC.lock";
}

}  // namespace tolvane
