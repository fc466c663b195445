#pragma once

#include <string>

namespace tolvane {

using HostNameReader = std::string (*)();

// The host name as the system gives it (gethostname; on Windows the NetBIOS computer name);
// empty when there is none.
std::string SystemHostName();

// The machine's own name for the probe: the host name whole, as that is the name the system
// resolves for itself; a name cut at its first "." may not resolve at all.
std::string GetComputerName(HostNameReader read = SystemHostName);

// The machine's short name for the SMTP greeting: the host name cut at its first ".", as a
// NetBIOS name has no domain.
std::string GetShortComputerName(HostNameReader read = SystemHostName);

}  // namespace tolvane
