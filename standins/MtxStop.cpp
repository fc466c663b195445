// mtxstop stand-in: there are no transaction server packages here unless the map names a command.
#include "os/File.h"
#include "standins/ServiceCommand.h"

int main() {
    tolvane::ServicesMap map;
    const std::string path = tolvane::ServicesMap::DefaultPath();
    if (!tolvane::FileExists(path)) {
        return 0;
    }
    if (!tolvane::LoadServicesMap("mtxstop", map)) {
        return 2;
    }
    const auto command = map.MtxStop();
    return command ? tolvane::RunMapped("mtxstop", *command) : 0;
}
