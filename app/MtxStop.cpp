// mtxstop stand-in: there are no transaction server packages here unless the map names a command.
#include "app/ServiceCommand.h"
#include "platform/File.h"

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
