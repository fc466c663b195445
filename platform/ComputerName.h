#pragma once

#include <string>

namespace tolvane {

// The machine's own name: the host name cut at its first ".", as a NetBIOS name has no domain.
std::string GetComputerName();

}  // namespace tolvane
