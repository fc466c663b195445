// The Windows command-line splitter: arguments quoted by the Windows rules come back as they
// were, and a split line quoted again splits the same.

#include "fuzz/FuzzSupport.h"
#include "os/Process.h"
#include "text/CommandLine.h"

namespace tolvane::fuzz {
namespace {

// The program name takes no escapes: quotes only group, so it cannot hold a quote.
std::string QuoteLine(const std::vector<std::string>& args) {
    std::string line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        line += i == 0 ? "\"" + args[0] + "\"" : " \"" + EscapeForCommandLine(args[i], true) + "\"";
    }
    return line;
}

std::vector<std::string> Words(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    for (std::size_t i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == ' ' || line[i] == '\t') {
            if (!word.empty()) {
                words.push_back(word);
            }
            word.clear();
        } else {
            word += line[i];
        }
    }
    return words;
}

}  // namespace
}  // namespace tolvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tolvane;
    using namespace tolvane::fuzz;
    const std::string_view line = Bytes(data, size);

    const std::vector<std::string> split = SplitCommandLine(line);
    Require(split.empty() || split[0].find('"') == std::string::npos,
            "the program name holds no quote");
    Require(SplitCommandLine(QuoteLine(split)) == split,
            "a split line quoted again splits the same");
    if (line.find_first_of("\"\\") == std::string_view::npos) {
        Require(split == Words(line), "without quotes and backslashes, blanks alone separate");
    }

    // The input as arguments, separated by zero bytes; the program name without quotes.
    std::vector<std::string> args = Fields(line, '\0');
    std::erase(args[0], '"');
    Require(SplitCommandLine(QuoteLine(args)) == args, "quoted arguments come back as they were");
    return 0;
}
