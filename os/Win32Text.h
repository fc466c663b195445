#pragma once

#include <string>
#include <string_view>

namespace tolvane {

// The system's texts and paths are CP932 bytes; the wide-character Win32 calls take UTF-16.
// Code page 932 is named explicitly, never the system's ANSI code page, so the bytes are the
// same on any system locale. Used only by the Win32 sides of os/ and registry/ and by the Win32 windows.
constexpr unsigned kCp932 = 932;

std::wstring ToWide(std::string_view bytes, unsigned codePage = kCp932);
std::string FromWide(std::wstring_view text, unsigned codePage = kCp932);

// Paths are no system texts: a folder may be named in any script (C:\Tools\Łódź\), and code
// page 932 would lose or, with best fit, change such a name (¥ becoming a backslash). Paths are
// therefore held as UTF-8 between the system call that gives them and the one that takes them,
// and printed as UTF-8 as tolvanectl's texts are.
std::wstring PathToWide(std::string_view path);
std::string PathFromWide(std::wstring_view path);

}  // namespace tolvane
