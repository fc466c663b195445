#include "settings/NumberRule.h"

#include <algorithm>

namespace tolvane {

namespace {

struct MessageText {
    NumberMessage message;
    const char* text;
};
constexpr MessageText kMessageTexts[] = {
    {NumberMessage::PositiveInteger, "Please enter a positive integer."},
    {NumberMessage::IntegerRange, "Please enter an integer between %1 and %2."},
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

void Fill(std::string& text, std::string_view placeholder, std::uint32_t value) {
    const std::size_t at = text.find(placeholder);
    if (at != std::string::npos) {
        text.replace(at, placeholder.size(), std::to_string(value));
    }
}

}  // namespace

std::string NumberMessageText(NumberMessage message, const NumberRule& rule) {
    std::string text;
    for (const MessageText& row : kMessageTexts) {
        if (row.message == message) {
            text = row.text;
        }
    }
    Fill(text, "%1", rule.low);
    Fill(text, "%2", rule.high);
    return text;
}

NumberReading CheckNumber(std::uint64_t value, const NumberRule& rule) {
    NumberReading reading;
    reading.isNumber = true;
    reading.value = static_cast<std::uint32_t>(std::min<std::uint64_t>(value, 0xFFFFFFFFu));
    reading.accepted = value >= rule.low && value <= rule.high;
    if (!reading.accepted) {
        reading.message = NumberMessageText(rule.outOfRange, rule);
    }
    return reading;
}

NumberReading ReadNumber(std::string_view text, const NumberRule& rule) {
    // Anything past 32 bits is out of every range; stop counting there.
    constexpr std::uint64_t kPast32Bits = std::uint64_t{1} << 32;
    text = text.substr(0, kNumberTextChars);
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    const std::size_t digitsBegin = i;
    std::uint64_t value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = std::min(kPast32Bits, value * 10 + static_cast<std::uint64_t>(text[i] - '0'));
        ++i;
    }
    const bool digits = i > digitsBegin;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    if (!digits || i != text.size()) {
        NumberReading refused;
        refused.message = NumberMessageText(rule.notANumber, rule);
        return refused;
    }
    return CheckNumber(value, rule);
}

}  // namespace tolvane
