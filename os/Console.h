#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// tolvanectl's arguments and output, in the locale's charset (LocaleCharset). On Windows that
// is UTF-8 between the two: the arguments come from the wide command line, and the output goes
// to a console as wide characters and to a pipe or a file as UTF-8, so that Japanese and any
// path survive a redirection on every system locale.
std::vector<std::string> CommandArguments(int argc, char** argv);
void WriteText(std::FILE* stream, std::string_view text);

// Reads one line of standard input, without its line end, for a secret: when standard input is
// a terminal (a console), after the prompt on standard error and without echoing what is typed.
// False when the input ends, or fails, before a line end or any character.
bool ReadHiddenLine(const std::string& prompt, std::string& line);

}  // namespace tolvane
