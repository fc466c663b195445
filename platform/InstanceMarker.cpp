#include "platform/InstanceMarker.h"

#include <cstdlib>

namespace tolvane {

std::string InstanceMarker::ProgramName() {
    constexpr char kProgramName[] = "hPrevTOLVInstance";
    const char* test = std::getenv("TOLVANE_TEST_INSTANCE");
    if (test == nullptr || *test == '\0') {
        return kProgramName;
    }
    // Never the users' name itself, whatever the value.
    return std::string(kProgramName) + ".test." + test;
}

}  // namespace tolvane
