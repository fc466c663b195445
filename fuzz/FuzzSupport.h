#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane::fuzz {

// A property that does not hold is a finding: the message names it, the abort makes libFuzzer
// keep the input.
void Require(bool holds, const char* property);

std::string_view Bytes(const std::uint8_t* data, std::size_t size);

// The text up to its first zero byte, as the C strings of the system end.
std::string UpToZero(std::string_view text);

// Splits at every separator: n separators give n + 1 fields.
std::vector<std::string> Fields(std::string_view text, char separator);

// The lines of a text between its CR LF pairs; false when a CR or LF stands alone.
bool SplitCrLfLines(std::string_view text, std::vector<std::string_view>& lines);

}  // namespace tolvane::fuzz
