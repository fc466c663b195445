#include "monitor/HttpCheck.h"

#include "monitor/PortProbe.h"

namespace tolvane {

CheckResult RunCheck(const CheckTarget& target, Socket& socket, Resolver resolve) {
    CheckResult result;
    result.ok = PortProbe(target.host, target.port, socket, resolve);
    if (!result.ok) {
        result.reason = "refused";
    }
    return result;
}

}  // namespace tolvane
