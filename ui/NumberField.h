#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

class QLineEdit;
class QWidget;

namespace tolvane {

// An unsigned decimal number with blanks and tabs allowed around it; no sign. Numbers past
// 32 bits come back as 2^32, which is out of every range.
std::optional<std::uint64_t> ParseUnsigned(std::string_view text);

// Reads a number field into `member` with the framework's validation: a text that is no
// number, or a number outside low..high, is refused with its English message (caption: the
// application's name), and the field gets the focus with its whole text selected. On a
// range refusal `member` holds the number read. At most `maxChars` characters are read.
bool ReadNumberField(QWidget* dialog, QLineEdit* field, std::uint32_t low, std::uint32_t high,
                     std::uint32_t& member, int maxChars = -1);

// Refuses a field with `message` as above.
void RefuseField(QWidget* dialog, QLineEdit* field, const std::string& message);

}  // namespace tolvane
