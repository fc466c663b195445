#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// The two text steps of the mail: Shift_JIS (CP932) to ISO-2022-JP, and the preparation of
// body lines for the SMTP data phase. Texts end at their first zero byte, as C strings do.
// Results grow as needed, so no input is too long.
class JisEncoder {
public:
    // ESC $ B before each run of two-byte characters, ESC ( B after it; single bytes (CR, LF,
    // half-width katakana included) pass unchanged. A lead byte whose next byte cannot be a
    // second byte (or that ends the text) becomes the geta mark 0x22 0x2E, and the next byte
    // stands on its own, so a stray lead byte never swallows a line end. Pairs outside JIS
    // X 0208 are mapped by the arithmetic as they are and can still give bytes outside
    // 0x21-0x7E: 0x80 0x40 gives 0x1F, 0xF0 0x40 gives 0x7F.
    static std::string Convert(std::string_view sjis);

    // Doubles a "." at the start of a line and breaks a line with CR LF after its 130th byte,
    // or its 131st when the 130th begins a two-byte character. Line ends stay as they are.
    static std::string PrepareBodyLines(std::string_view sjis);

    // Convert in pieces, each a complete ISO-2022-JP text ending in ASCII of at most maxBytes
    // bytes, cut between characters. One piece when the whole result fits; an empty text
    // gives one empty piece.
    static std::vector<std::string> ConvertInPieces(std::string_view sjis, std::size_t maxBytes);

    // A byte that begins a two-byte character: 0x80 to 0xA0 and 0xE0 to 0xFF. Wider than code
    // page 932's lead bytes (text/Cp932.h) on purpose: the mail's encoding is defined by this
    // range, and a mail must come out byte for byte the same as the established one.
    static bool IsLeadByte(unsigned char c) { return (c >= 0x80 && c <= 0xA0) || c >= 0xE0; }
    // A byte that can follow a lead byte: 0x40 to 0x7E and 0x80 to 0xFC.
    static bool IsTrailByte(unsigned char c) {
        return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
    }
};

}  // namespace tolvane
