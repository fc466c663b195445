// net stand-in: "net start NAME" and "net stop NAME [/y]" act on the services of the services map.
#include <strings.h>

#include <cstdio>
#include <string>

#include "standins/ServiceCommand.h"

int main(int argc, char** argv) {
    const bool start = argc >= 3 && strcasecmp(argv[1], "start") == 0;
    const bool stop = argc >= 3 && strcasecmp(argv[1], "stop") == 0;
    // "/y" answers yes to stopping dependent services; the map's commands need no answer.
    const bool extraOk = argc == 3 || (argc == 4 && stop && strcasecmp(argv[3], "/y") == 0);
    if (!(start || stop) || !extraOk) {
        std::fputs("usage: net start NAME | net stop NAME [/y]\n", stderr);
        return 1;
    }
    tolvane::ServicesMap map;
    if (!tolvane::LoadServicesMap("net", map)) {
        return 2;
    }
    const auto command = map.Command(argv[2], start ? "start" : "stop");
    if (!command) {
        std::fprintf(stderr, "net: the service name %s is not in the services map %s\n", argv[2],
                     tolvane::ServicesMap::DefaultPath().c_str());
        return 2;
    }
    return tolvane::RunMapped("net", *command);
}
