#pragma once

#include <string>
#include <string_view>

namespace tolvane {

// Strict conversion between two iconv charsets; false when any character has no form there.
bool ConvertCharset(std::string_view input, const char* from, const char* to, std::string& output);

// The system's texts are CP932 bytes; source files are UTF-8. Converts one of our own UTF-8
// literals; they are all representable, so a failure is a programming error and aborts.
std::string Sjis(std::string_view utf8);

// For display: bytes that are not CP932 become U+FFFD instead of being lost silently.
std::string Cp932ToUtf8(std::string_view cp932);

// The charset of the current locale (after setlocale); UTF-8 where the locale names plain
// ASCII, as the C locale of a service or a CI run does.
std::string LocaleCharset();
std::string Cp932ToLocale(std::string_view cp932);
bool LocaleToCp932(std::string_view text, std::string& cp932);

}  // namespace tolvane
