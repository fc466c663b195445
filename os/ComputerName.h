#pragma once

#include <string>

namespace tolvane {

using HostNameReader = std::string (*)();

// The host name as the system gives it (gethostname; on Windows the DNS host name); empty
// when there is none.
std::string SystemHostName();
// The name the SMTP greeting starts from: on Windows the NetBIOS computer name (at most 15
// characters), elsewhere the host name.
std::string SystemNetBiosName();

// The machine's own name for the probe: the host name whole, as that is the name the system
// resolves for itself; a name cut at its first "." may not resolve at all.
std::string GetComputerName(HostNameReader read = SystemHostName);

// The machine's short name for the SMTP greeting: the host name cut at its first ".", as a
// NetBIOS name has no domain.
std::string GetShortComputerName(HostNameReader read = SystemNetBiosName);

}  // namespace tolvane
