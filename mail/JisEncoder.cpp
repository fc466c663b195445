#include "mail/JisEncoder.h"

#include <cstdint>

namespace tolvane {

namespace {

constexpr std::string_view kToJis = "\x1B$B";
constexpr std::string_view kToAscii = "\x1B(B";
constexpr char kGeta[] = {0x22, 0x2E};

std::string_view UpToZero(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

unsigned char At(std::string_view text, std::size_t i) {
    return static_cast<unsigned char>(text[i]);
}

// Length of the character at i: 2 for a lead byte with a proper second byte, else 1.
std::size_t CharLength(std::string_view text, std::size_t i) {
    return JisEncoder::IsLeadByte(At(text, i)) && i + 1 < text.size() &&
                   JisEncoder::IsTrailByte(At(text, i + 1))
               ? 2
               : 1;
}

// The arithmetic mapping of Shift_JIS onto JIS X 0208, low eight bits kept.
void AppendJisPair(std::string& out, unsigned c1, unsigned c2) {
    unsigned j1;
    if (c1 <= 0x9F) {
        j1 = c2 < 0x9F ? 2 * c1 - 0xE1 : 2 * c1 - 0xE0;
    } else {
        j1 = c2 < 0x9F ? 2 * c1 - 0x161 : 2 * c1 - 0x160;
    }
    unsigned j2;
    if (c2 < 0x7F) {
        j2 = c2 - 0x1F;
    } else if (c2 <= 0x9E) {
        j2 = c2 - 0x20;
    } else {
        j2 = c2 - 0x7E;
    }
    out += static_cast<char>(static_cast<std::uint8_t>(j1));
    out += static_cast<char>(static_cast<std::uint8_t>(j2));
}

}  // namespace

std::string JisEncoder::Convert(std::string_view sjis) {
    sjis = UpToZero(sjis);
    std::string out;
    out.reserve(sjis.size() + sjis.size() / 4 + 8);
    bool twoByte = false;
    for (std::size_t i = 0; i < sjis.size();) {
        const unsigned char c = At(sjis, i);
        if (IsLeadByte(c)) {
            if (!twoByte) {
                out += kToJis;
                twoByte = true;
            }
            if (CharLength(sjis, i) == 2) {
                AppendJisPair(out, c, At(sjis, i + 1));
                i += 2;
            } else {
                out.append(kGeta, sizeof kGeta);
                i += 1;
            }
            continue;
        }
        if (twoByte) {
            out += kToAscii;
            twoByte = false;
        }
        out += static_cast<char>(c);
        ++i;
    }
    if (twoByte) {
        out += kToAscii;
    }
    return out;
}

std::string JisEncoder::PrepareBodyLines(std::string_view sjis) {
    sjis = UpToZero(sjis);
    std::string out;
    out.reserve(sjis.size() + sjis.size() / 64 + 8);
    int counter = 0;          // input bytes on the current line
    std::size_t charEnd = 0;  // where the character that the last lead byte began ends
    for (std::size_t i = 0; i < sjis.size();) {
        const char c = sjis[i];
        const bool secondByte = i < charEnd;
        if (!secondByte) {
            charEnd = i + CharLength(sjis, i);
        }
        if (counter <= 128) {
            out += c;
            ++i;
            if (c == '\r' || c == '\n') {
                counter = 0;
                continue;
            }
            if (counter == 0 && c == '.') {
                out += '.';
            }
            ++counter;
            continue;
        }
        // The line's 130th byte: the break follows it, or the character it begins.
        char last = c;
        if (!secondByte && charEnd == i + 2) {
            out += c;
            last = sjis[i + 1];
            out += last;
            i += 2;
        } else {
            out += c;
            ++i;
        }
        if (last != '\r' && last != '\n') {
            out += "\r\n";
        }
        counter = 0;
    }
    return out;
}

std::vector<std::string> JisEncoder::ConvertInPieces(std::string_view sjis, std::size_t maxBytes) {
    sjis = UpToZero(sjis);
    std::vector<std::string> pieces;
    std::size_t start = 0;
    std::size_t cost = 0;  // converted bytes of the current piece, without its closing escape
    bool twoByte = false;
    for (std::size_t i = 0; i < sjis.size();) {
        const bool wide = IsLeadByte(At(sjis, i));
        const std::size_t length = CharLength(sjis, i);
        auto costOf = [&](bool inTwoByte) {
            const std::size_t add =
                wide ? (inTwoByte ? 2 : kToJis.size() + 2) : (inTwoByte ? kToAscii.size() + 1 : 1);
            return add + (wide ? kToAscii.size() : 0);
        };
        if (cost + costOf(twoByte) > maxBytes && i > start) {
            pieces.push_back(Convert(sjis.substr(start, i - start)));
            start = i;
            cost = 0;
            twoByte = false;
        }
        cost += costOf(twoByte) - (wide ? kToAscii.size() : 0);
        twoByte = wide;
        i += length;
    }
    if (start < sjis.size() || pieces.empty()) {
        pieces.push_back(Convert(sjis.substr(start)));
    }
    return pieces;
}

}  // namespace tolvane
