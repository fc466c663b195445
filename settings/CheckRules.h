#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tolvane {

// One run of accepted HTTP statuses, both ends included.
struct StatusRange {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
};
using StatusList = std::vector<StatusRange>;

// Codes and ranges separated by commas, "200,301-302"; each code from 100 to 599 and each
// range in order. Blanks around the parts are allowed. Nothing when the text is not such a list.
std::optional<StatusList> ParseStatusList(std::string_view text);
bool StatusAccepted(const StatusList& list, std::uint32_t status);

// A path that can go on an HTTP request line as it stands: starts with "/", no blanks and no
// control characters.
bool IsCheckPath(std::string_view path);

}  // namespace tolvane
