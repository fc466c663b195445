#pragma once

// The system's texts are Shift_JIS bytes as code page 932 has them. These are the rules every
// part of the program reads them by.
#include <cstddef>
#include <string>
#include <string_view>

namespace tolvane {

// A lead byte (0x81-0x9F, 0xE0-0xFC) begins a two-byte character; the byte after it may be any
// of 0x40-0x7E and 0x80-0xFC, "\" (0x5C) and ASCII letters among them.
bool IsCp932LeadByte(unsigned char c);
bool IsCp932TrailByte(unsigned char c);

// The length of the character at text[at]: 2 for a lead byte with a byte after it, else 1, as
// Windows steps through a multibyte text.
std::size_t Cp932CharLength(std::string_view text, std::size_t at);

// The longest start of the text within maxBytes that does not end inside a character.
std::string CutCp932(std::string_view text, std::size_t maxBytes);

// What the windows and tolvanectl take for blanks around a field: the C locale's white space.
inline constexpr std::string_view kBlanks = " \t\r\n\v\f";
// The text without the given blanks at either end. No blank is a trail byte, so a character is
// never cut.
std::string TrimBlanks(std::string_view text, std::string_view blanks = kBlanks);
// The same as a view into the text, for parsers that must not copy each line.
std::string_view TrimmedView(std::string_view text, std::string_view blanks = kBlanks);

// ASCII letters in lower case, byte by byte, as the C locale's tolower has it: for texts taken
// as bytes, such as the services map's names.
std::string AsciiLower(std::string_view text);
// ASCII letters in lower case outside two-byte characters; their second bytes stand as they are,
// as Windows folds a CP932 name.
std::string Cp932AsciiLower(std::string_view text);
// Equal but for the case of ASCII letters outside two-byte characters.
bool SameIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace tolvane
