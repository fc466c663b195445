#pragma once

#include <string>

namespace tolvane {

// Whether only the user who runs the program and root can change what the path leads to, as
// sshd checks the files it takes commands from. Every folder walked on the way, every link
// and each link's target belong to the user or root; a folder that group or others may write
// to must have the sticky bit (as /tmp has), so that nobody else can replace what is in it;
// the file is a regular file that only its owner may write. False with what is wrong, naming
// the file, folder or link, in problem.
bool IsTrustedPath(const std::string& path, std::string& problem);

}  // namespace tolvane
