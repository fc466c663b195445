#include "os/Console.h"

namespace tolvane {

std::vector<std::string> CommandArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void WriteText(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace tolvane
