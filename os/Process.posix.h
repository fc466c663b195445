#pragma once

#include <spawn.h>

namespace tolvane {

// The monitor blocks or ignores some signals while it works; a child it spawns gets a clean
// slate: nothing blocked, those signals at their defaults. The spawn flags to set with them.
short CleanSignalsFor(posix_spawnattr_t& attributes);

}  // namespace tolvane
