// tolvane-mapped-unit UNIT: asked by the polkit rule of the group tolvane whether the desktop's
// restart may start or stop the systemd unit. Exit status 0 when the installed services map's
// "NAME = UNIT" lines name it, 1 when they do not, 2 when no trusted map can be read.
//
// polkitd runs it as its own user, for any member of the group: it reads only the installed
// map (never one the environment names, which the asking user could set), trusts only root's
// files and folders on the way, and ends itself well before polkitd would kill it.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "standins/ServicesMap.h"

int main(int argc, char** argv) {
    constexpr unsigned kSecondsAtMost = 5;  // polkitd gives a helper about 10
    ::alarm(kSecondsAtMost);
    ::clearenv();
    if (argc != 2) {
        std::fputs("usage: tolvane-mapped-unit UNIT\n", stderr);
        return 2;
    }
    const std::string unit = argv[1];
    tolvane::ServicesMap map;
    std::string error;
    const std::string path =
        tolvane::ServicesMap::DefaultPath(tolvane::ServicesMap::InstalledPaths());
    if (!map.Load(path, error, tolvane::TrustedOwners::RootOnly)) {
        std::fprintf(stderr, "tolvane-mapped-unit: %s\n", error.c_str());
        return 2;
    }
    if (!map.MapsUnit(unit)) {
        std::fprintf(stderr, "tolvane-mapped-unit: %s is not a unit of the services map %s\n",
                     unit.c_str(), path.c_str());
        return 1;
    }
    return 0;
}
