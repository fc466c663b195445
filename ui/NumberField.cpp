#include "ui/NumberField.h"

#include <QLineEdit>

#include "ui/MessageBox.h"
#include "ui/UiTexts.h"

namespace tolvane {

std::optional<std::uint64_t> ParseUnsigned(std::string_view text) {
    constexpr std::uint64_t kPast32Bits = std::uint64_t{1} << 32;
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    const std::size_t digitsBegin = i;
    std::uint64_t value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = std::min(kPast32Bits, value * 10 + static_cast<std::uint64_t>(text[i] - '0'));
        ++i;
    }
    if (i == digitsBegin) {
        return std::nullopt;
    }
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    return value;
}

void RefuseField(QWidget* dialog, QLineEdit* field, const std::string& message) {
    MessageBox::Show(dialog, MessageBox::Icon::Exclamation, ApplicationName(), ToQString(message));
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}

bool ReadNumberField(QWidget* dialog, QLineEdit* field, std::uint32_t low, std::uint32_t high,
                     std::uint32_t& member, int maxChars) {
    QString text = field->text();
    if (maxChars >= 0) {
        text.truncate(maxChars);
    }
    const std::optional<std::uint64_t> number = ParseUnsigned(text.toStdString());
    if (!number) {
        RefuseField(dialog, field, Text(UiText::PositiveIntegerPrompt));
        return false;
    }
    member = static_cast<std::uint32_t>(std::min<std::uint64_t>(*number, 0xFFFFFFFFu));
    if (*number < low || *number > high) {
        RefuseField(dialog, field, RangePrompt(low, high));
        return false;
    }
    return true;
}

}  // namespace tolvane
