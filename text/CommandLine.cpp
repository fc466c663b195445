#include "text/CommandLine.h"

#include "text/Cp932.h"

namespace tolvane {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// A two-byte character: its second byte may be 0x5C and is never a backslash.
bool IsTwoByteCharacter(std::string_view text, std::size_t at) {
    return IsCp932LeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size() &&
           IsCp932TrailByte(static_cast<unsigned char>(text[at + 1]));
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> args;
    std::size_t i = 0;
    const std::size_t n = line.size();
    while (i < n && IsBlank(line[i])) {
        ++i;
    }
    if (i == n) {
        return args;
    }
    // Program name: quotes group, backslashes are plain characters.
    std::string program;
    bool quoted = false;
    for (; i < n; ++i) {
        const char c = line[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (IsBlank(c) && !quoted) {
            break;
        } else {
            program += c;
        }
    }
    args.push_back(std::move(program));

    while (true) {
        while (i < n && IsBlank(line[i])) {
            ++i;
        }
        if (i == n) {
            break;
        }
        std::string arg;
        quoted = false;
        while (i < n) {
            const char c = line[i];
            if (IsTwoByteCharacter(line, i)) {
                // The second byte of 表 or ソ is 0x5C, yet it is no backslash: Windows reads
                // the line by characters, so a quoted text ending in one stays closed.
                arg.append(line.substr(i, 2));
                i += 2;
            } else if (c == '\\') {
                std::size_t slashes = 0;
                while (i < n && line[i] == '\\') {
                    ++slashes;
                    ++i;
                }
                if (i < n && line[i] == '"') {
                    arg.append(slashes / 2, '\\');
                    if (slashes % 2 == 1) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(slashes, '\\');
                }
            } else if (c == '"') {
                if (quoted && i + 1 < n && line[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else if (IsBlank(c) && !quoted) {
                break;
            } else {
                arg += c;
                ++i;
            }
        }
        args.push_back(std::move(arg));
    }
    return args;
}

std::string EscapeForCommandLine(std::string_view text, bool quoted, QuoteEscape style) {
    const bool backslashed = quoted && style == QuoteEscape::Backslashed;
    std::string out;
    out.reserve(text.size());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        if (IsTwoByteCharacter(text, i)) {
            out.append(text.substr(i, 2));
            i += 2;
            continue;
        }
        if (backslashed && IsCp932LeadByte(static_cast<unsigned char>(text[i]))) {
            out += '?';
            ++i;
            continue;
        }
        if (text[i] == '"') {
            std::size_t quotes = 0;
            for (; i < n && text[i] == '"'; ++i) {
                ++quotes;
                if (backslashed) {
                    out += "\\\"";
                }
            }
            // Bare quotes go into a quoted stretch of their own: one quote opens it, the
            // closing one is never followed by another quote.
            if (!backslashed) {
                out.append(quoted ? 2 * quotes : 2 * quotes + 2, '"');
            }
            continue;
        }
        std::size_t slashes = 0;
        while (i < n && text[i] == '\\') {
            ++slashes;
            ++i;
        }
        if (slashes == 0) {
            out += text[i++];
            continue;
        }
        const bool beforeQuote = i < n ? text[i] == '"' : quoted;
        out.append(beforeQuote ? 2 * slashes : slashes, '\\');
    }
    return out;
}

}  // namespace tolvane
