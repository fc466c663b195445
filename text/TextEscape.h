#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tolvane {

// Texts kept on one line: "\\", "\r" and "\n" stand for their bytes, and inside quotes "\"" for
// a quote. Shared by the registry file and tolvanectl's Name=value lines.
void AppendEscaped(std::string& out, std::string_view text, bool quoted);

// Reads escaped text from text[at]: when quoted, up to the closing quote, which at is left
// after; otherwise to the end. False on an unknown escape or a missing closing quote.
bool ReadEscaped(std::string_view text, std::size_t& at, std::string& out, bool quoted);

// Every C0 control byte (TAB included) and DEL as "?", so that a text from outside can neither
// drive a terminal nor break a line into fields. The second byte of a CP932 character is never
// in that range, so CP932 text stays whole.
std::string ControlsReplaced(std::string_view text);

}  // namespace tolvane
