// Writes one line to the log beside its own executable: the first argument, "|", and the
// folder the program takes for its own. The tests copy it into folders with Japanese names.
// With a second argument it first waits until that file exists.
#include <unistd.h>

#include <string>

#include "monitor/RestartLog.h"
#include "os/File.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    for (int i = 0; argc > 2 && !tolvane::FileExists(argv[2]); ++i) {
        if (i == 3000) {
            return 3;
        }
        ::usleep(10000);
    }
    tolvane::RestartLog log(tolvane::RealClock());
    log.Append(std::string(argv[1]) + "|" + tolvane::RestartLog::ModuleDirectory());
    return 0;
}
