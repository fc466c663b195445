#pragma once

#include <string>

namespace tolvane {

// Whose files and folders are trusted: those of root and of the user who runs the program, or
// root's alone (for a program that answers for root, whatever user it runs as).
enum class TrustedOwners { UserAndRoot, RootOnly };

// Whether only the trusted owners can change what the path leads to, as sshd checks the files
// it takes commands from. Every folder walked on the way, every link
// and each link's target belong to a trusted owner; a folder that group or others may write
// to must have the sticky bit (as /tmp has), so that nobody else can replace what is in it;
// the file is a regular file that only its owner may write. False with what is wrong, naming
// the file, folder or link, in problem.
bool IsTrustedPath(const std::string& path, std::string& problem,
                   TrustedOwners owners = TrustedOwners::UserAndRoot);

}  // namespace tolvane
