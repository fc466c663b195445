#pragma once

#include <string>
#include <string_view>

namespace tolvane {

// Base64 with the standard alphabet and "=" padding, no line breaks (RFC 4648, section 4).
// The input ends at its first zero byte, as a C string does; the result grows as needed.
class Base64 {
public:
    static std::string Encode(std::string_view bytes);
    // Every byte, zero bytes too (AUTH PLAIN's separators).
    static std::string EncodeAll(std::string_view bytes);
};

}  // namespace tolvane
