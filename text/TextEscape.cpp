#include "text/TextEscape.h"

namespace tolvane {

void AppendEscaped(std::string& out, std::string_view text, bool quoted) {
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '"':
                out += quoted ? "\\\"" : "\"";
                break;
            default:
                out += c;
        }
    }
}

bool ReadEscaped(std::string_view text, std::size_t& at, std::string& out, bool quoted) {
    out.clear();
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (quoted && c == '"') {
            ++at;
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++at >= text.size()) {
            return false;
        }
        switch (text[at]) {
            case '\\':
                out += '\\';
                break;
            case 'r':
                out += '\r';
                break;
            case 'n':
                out += '\n';
                break;
            case '"':
                if (!quoted) {
                    return false;
                }
                out += '"';
                break;
            default:
                return false;
        }
    }
    return !quoted;
}

std::string ControlsReplaced(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            c = '?';
        }
    }
    return out;
}

}  // namespace tolvane
