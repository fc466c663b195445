#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>

namespace tolvane::fuzz {

void Require(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "property does not hold: %s\n", property);
        std::abort();
    }
}

std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

std::string UpToZero(std::string_view text) {
    return std::string(text.substr(0, text.find('\0')));
}

std::vector<std::string> Fields(std::string_view text, char separator) {
    std::vector<std::string> fields;
    while (true) {
        const auto at = text.find(separator);
        fields.emplace_back(text.substr(0, at));
        if (at == std::string_view::npos) {
            return fields;
        }
        text.remove_prefix(at + 1);
    }
}

bool SplitCrLfLines(std::string_view text, std::vector<std::string_view>& lines) {
    lines.clear();
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            lines.push_back(text.substr(start, i - start));
            start = i + 2;
            ++i;
        } else if (text[i] == '\r' || text[i] == '\n') {
            lines.clear();
            return false;
        }
    }
    lines.push_back(text.substr(start));
    return true;
}

}  // namespace tolvane::fuzz
