#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane::test {

// How a number typed into a window's field or given to `tolvanectl set` is taken: one table for
// every place that reads one, so all of them accept and refuse the same texts with the same
// messages.
struct NumberCase {
    const char* setting;  // Port, Interval (main window), SmtpPort (mail settings dialog)
    std::string text;
    bool accepted;
    std::uint32_t value;  // the number read, also kept after a range refusal
    const char* message;  // for a refusal
};

inline const std::vector<NumberCase>& NumberCases() {
    static const char* const kNotANumber = "Please enter a positive integer.";
    static const char* const kPortRange = "Please enter an integer between 0 and 65535.";
    static const char* const kIntervalRange = "Please enter an integer between 1 and 99999.";
    static const std::vector<NumberCase> cases = {
        {"Port", "8080", true, 8080, ""},
        {"Port", " 80 ", true, 80, ""},  // blanks and tabs around a number are allowed
        {"Port", "\t443\t", true, 443, ""},
        {"Port", "0", true, 0, ""},
        {"Port", "65535", true, 65535, ""},
        {"Port", "65536", false, 65536, kPortRange},
        {"Port", "99999999999", false, 0xFFFFFFFFu, kPortRange},
        {"Port", "", false, 0, kNotANumber},
        {"Port", "   ", false, 0, kNotANumber},
        {"Port", "-1", false, 0, kNotANumber},
        {"Port", "+80", false, 0, kNotANumber},
        {"Port", "8 0", false, 0, kNotANumber},
        {"Port", "0x50", false, 0, kNotANumber},
        {"Port", "\xEF\xBC\x98\xEF\xBC\x90", false, 0, kNotANumber},  // full-width 80
        {"Interval", "1", true, 1, ""},
        {"Interval", "007", true, 7, ""},
        {"Interval", "99999", true, 99999, ""},
        {"Interval", "0", false, 0, kIntervalRange},
        {"Interval", "100000", false, 100000, kIntervalRange},
        // Only the first 31 characters of a field are read.
        {"Interval", std::string(30, ' ') + "5", true, 5, ""},
        {"Interval", std::string(31, ' ') + "5", false, 0, kNotANumber},
        {"SmtpPort", " 25 ", true, 25, ""},
        {"SmtpPort", "\t587\t", true, 587, ""},
        {"SmtpPort", "0", true, 0, ""},
        {"SmtpPort", "65535", true, 65535, ""},
        {"SmtpPort", "65536", false, 65536, kPortRange},
        {"SmtpPort", "99999999999", false, 0xFFFFFFFFu, kPortRange},
        {"SmtpPort", "", false, 0, kNotANumber},
        {"SmtpPort", "-1", false, 0, kNotANumber},
        {"SmtpPort", "2 5", false, 0, kNotANumber},
    };
    return cases;
}

}  // namespace tolvane::test
