// command.com stand-in: "command.com /C LINE" runs LINE without a shell and passes its exit code
// on.
#include <strings.h>

#include <cstdio>
#include <string>
#include <vector>

#include "os/Process.h"

int main(int argc, char** argv) {
    if (argc < 3 || strcasecmp(argv[1], "/C") != 0) {
        std::fputs("usage: command.com /C COMMAND [ARGS...]\n", stderr);
        return 1;
    }
    const std::vector<std::string> line(argv + 2, argv + argc);
    tolvane::ChildProcess child;
    if (!child.Start(line)) {
        std::fprintf(stderr, "command.com: bad command or file name: %s\n", argv[2]);
        return 1;
    }
    const tolvane::ExitState state = child.Wait();
    return state.readable ? state.exitCode : 1;
}
