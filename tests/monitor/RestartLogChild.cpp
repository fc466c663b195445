// Writes one line to the log beside its own executable: the first argument, "|", and the
// folder the program takes for its own. The tests copy it into folders with Japanese names.
#include <string>

#include "monitor/RestartLog.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    tolvane::RestartLog log(tolvane::RealClock());
    log.Append(std::string(argv[1]) + "|" + tolvane::RestartLog::ModuleDirectory());
    return 0;
}
