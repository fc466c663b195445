#include "standins/ServiceCommand.h"

#include <cstdio>

#include "os/Process.h"

namespace tolvane {

bool LoadServicesMap(const char* tool, ServicesMap& map) {
    std::string error;
    if (!map.Load(ServicesMap::DefaultPath(), error)) {
        std::fprintf(stderr, "%s: %s\n", tool, error.c_str());
        return false;
    }
    return true;
}

int RunMapped(const char* tool, const std::vector<std::string>& command) {
    if (command.empty()) {
        return 0;  // the map says there is nothing to do here
    }
    ChildProcess child;
    if (!child.Start(command)) {
        std::fprintf(stderr, "%s: cannot start %s\n", tool, command[0].c_str());
        return 1;
    }
    const ExitState state = child.Wait();
    return state.readable ? state.exitCode : 1;
}

}  // namespace tolvane
