#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvane {

// The messages a refused number gets: the English texts of the framework's own field check.
enum class NumberMessage { PositiveInteger, IntegerRange };

// How one number setting is read and checked wherever it is entered: the windows' fields and
// `tolvanectl set`.
struct NumberRule {
    std::uint32_t low = 0;
    std::uint32_t high = 0xFFFFFFFFu;
    NumberMessage notANumber = NumberMessage::PositiveInteger;
    NumberMessage outOfRange = NumberMessage::IntegerRange;  // %1 and %2: low and high
};

struct NumberReading {
    bool accepted = false;
    // The number read; also after a range refusal (numbers past 32 bits as 0xFFFFFFFF), so the
    // caller can keep it as the windows keep it.
    std::uint32_t value = 0;
    bool isNumber = false;
    std::string message;  // the refusal, filled in; empty when accepted
};

// At most this many characters of a field are read, as the windows read them.
constexpr std::size_t kNumberTextChars = 31;

// An unsigned decimal number: digits only, no sign, with blanks and tabs allowed before and
// after it. Only the first kNumberTextChars characters are read.
NumberReading ReadNumber(std::string_view text, const NumberRule& rule);

// A number that is already held (for example as loaded) against its rule.
NumberReading CheckNumber(std::uint64_t value, const NumberRule& rule);

// The message text with the rule's bounds filled in. ASCII, so the same in CP932 and UTF-8.
std::string NumberMessageText(NumberMessage message, const NumberRule& rule);

}  // namespace tolvane
