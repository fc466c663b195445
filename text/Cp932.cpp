#include "text/Cp932.h"

namespace tolvane {

namespace {

char LowerLetter(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool IsCp932LeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool IsCp932TrailByte(unsigned char c) {
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

std::size_t Cp932CharLength(std::string_view text, std::size_t at) {
    return IsCp932LeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size() ? 2 : 1;
}

std::string CutCp932(std::string_view text, std::size_t maxBytes) {
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t width = Cp932CharLength(text, end);
        if (end + width > maxBytes) {
            break;
        }
        end += width;
    }
    return std::string(text.substr(0, end));
}

std::string_view TrimmedView(std::string_view text, std::string_view blanks) {
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string TrimBlanks(std::string_view text, std::string_view blanks) {
    return std::string(TrimmedView(text, blanks));
}

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = LowerLetter(c);
    }
    return out;
}

std::string Cp932AsciiLower(std::string_view text) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); i += Cp932CharLength(out, i)) {
        out[i] = LowerLetter(out[i]);
    }
    return out;
}

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size();) {
        const std::size_t length = Cp932CharLength(a, i);
        if (length == 2 ? a.substr(i, 2) != b.substr(i, 2)
                        : LowerLetter(a[i]) != LowerLetter(b[i])) {
            return false;
        }
        i += length;
    }
    return true;
}

}  // namespace tolvane
