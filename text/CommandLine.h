#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// Splits a command line the way the Windows C runtime does: blanks separate, double quotes
// group, 2n backslashes before a quote give n and a quote toggle, 2n+1 give n and a literal
// quote, other backslashes are literal, "" inside quotes is a literal quote. The program
// name (first word) takes no escapes: it runs to the closing quote or the next blank. The
// line is CP932: the second byte of a two-byte character is never taken for a backslash.
std::vector<std::string> SplitCommandLine(std::string_view line);

// The text written so that SplitCommandLine reads it back unchanged, standing bare or inside
// the double quotes that the caller puts around it. Only quotes and the backslashes before
// them (or, inside quotes, at the end) change: the backslashes are doubled, and each quote
// becomes "" inside quotes; bare quotes stand inside a quoted stretch of their own. Neither
// form begins with a backslash, which a lone lead byte before it would swallow. Blanks of a
// bare text still separate arguments.
//
// Backslashed writes quoted text for a reader of either rule, the C runtime's or
// CommandLineToArgvW's (the script host's, which ends a quoted stretch at ""): each quote as
// \" after its backslashes doubled, and a lone lead byte, which would swallow the backslash
// after it, as "?".
enum class QuoteEscape { Doubled, Backslashed };
std::string EscapeForCommandLine(std::string_view text, bool quoted,
                                 QuoteEscape style = QuoteEscape::Doubled);

}  // namespace tolvane
