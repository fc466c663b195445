#pragma once

#include <cstdint>

#include "settings/NumberRule.h"

class QLineEdit;
class QWidget;

namespace tolvane {

// Reads a number field into `member` by the setting's rule: a text that is no number, or a
// number outside the rule's range, is refused with the rule's English message (caption: the
// application's name), and the field gets the focus with its whole text selected. On a range
// refusal `member` holds the number read.
bool ReadNumberField(QWidget* dialog, QLineEdit* field, const NumberRule& rule,
                     std::uint32_t& member);

}  // namespace tolvane
