#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// tolvanectl's arguments and output, in the locale's charset (LocaleCharset). On Windows that
// is UTF-8 between the two: the arguments come from the wide command line, and the output goes
// out as a console program writes it: wide characters to a console, the console's output code
// page to a pipe or a file.
std::vector<std::string> CommandArguments(int argc, char** argv);
void WriteText(std::FILE* stream, std::string_view text);

}  // namespace tolvane
