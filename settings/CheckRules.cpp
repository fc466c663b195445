#include "settings/CheckRules.h"

#include "text/Cp932.h"

namespace tolvane {

namespace {

std::optional<std::uint32_t> StatusCode(std::string_view text) {
    text = TrimmedView(text);
    if (text.size() != 3) {
        return std::nullopt;
    }
    std::uint32_t code = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        code = code * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (code < 100 || code > 599) {
        return std::nullopt;
    }
    return code;
}

}  // namespace

std::optional<StatusList> ParseStatusList(std::string_view text) {
    StatusList list;
    while (true) {
        const auto comma = text.find(',');
        const std::string_view part = text.substr(0, comma);
        const auto dash = part.find('-');
        const auto low = StatusCode(part.substr(0, dash));
        const auto high = dash == std::string_view::npos ? low : StatusCode(part.substr(dash + 1));
        if (!low || !high || *high < *low) {
            return std::nullopt;
        }
        list.push_back({*low, *high});
        if (comma == std::string_view::npos) {
            return list;
        }
        text.remove_prefix(comma + 1);
    }
}

bool StatusAccepted(const StatusList& list, std::uint32_t status) {
    for (const StatusRange& range : list) {
        if (status >= range.low && status <= range.high) {
            return true;
        }
    }
    return false;
}

bool IsCheckPath(std::string_view path) {
    if (path.empty() || path.front() != '/') {
        return false;
    }
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F) {
            return false;
        }
    }
    return true;
}

}  // namespace tolvane
