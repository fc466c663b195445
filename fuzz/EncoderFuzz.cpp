// Shift_JIS to ISO-2022-JP, the preparation of body lines and Base64, on any bytes.

#include <iconv.h>

#include <array>
#include <optional>

#include "fuzz/FuzzSupport.h"
#include "mail/Base64.h"
#include "mail/JisEncoder.h"
#include "mail/MailMessage.h"

namespace tolvane::fuzz {
namespace {

constexpr std::size_t kEncodedWordBytes = 381;  // the largest input of one encoded word
constexpr std::size_t kEncodedWordLength = 16 + 508 + 2;
constexpr std::size_t kLineLimit = 998;  // RFC 5322, 2.1.1, without CR LF
constexpr char kGeta[] = "\x81\xAC";     // what a lead byte without its second byte becomes

// The JIS X 0208 pair of a Shift_JIS character as glibc's iconv has it (EUC-JP is the pair
// with the high bits set); nothing for a character outside JIS X 0208.
std::optional<std::string> IconvJisPair(const std::string& sjis) {
    static const iconv_t converter = ::iconv_open("EUC-JP", "SHIFT_JIS");
    Require(converter != reinterpret_cast<iconv_t>(-1), "iconv knows Shift_JIS and EUC-JP");
    ::iconv(converter, nullptr, nullptr, nullptr, nullptr);
    std::string in = sjis;
    char out[8];
    char* inAt = in.data();
    char* outAt = out;
    std::size_t inLeft = in.size();
    std::size_t outLeft = sizeof out;
    if (::iconv(converter, &inAt, &inLeft, &outAt, &outLeft) == static_cast<std::size_t>(-1) ||
        outAt - out != 2 || static_cast<unsigned char>(out[0]) < 0xA1 ||
        static_cast<unsigned char>(out[0]) > 0xFE) {
        return std::nullopt;
    }
    return std::string{static_cast<char>(out[0] & 0x7F), static_cast<char>(out[1] & 0x7F)};
}

// Shift_JIS pair of every JIS pair the encoder can write, found by running it over every
// two-byte character and checked against iconv where JIS X 0208 has the character: the
// conversion decodes back only while no two characters share a pair.
class JisTable {
public:
    JisTable() {
        for (unsigned c1 = 0x80; c1 <= 0xFF; ++c1) {
            for (unsigned c2 = 0x40; c2 <= 0xFF; ++c2) {
                if (!JisEncoder::IsLeadByte(static_cast<unsigned char>(c1)) ||
                    !JisEncoder::IsTrailByte(static_cast<unsigned char>(c2))) {
                    continue;
                }
                const std::string sjis{static_cast<char>(c1), static_cast<char>(c2)};
                const std::string jis = JisEncoder::Convert(sjis);
                Require(jis.size() == 8, "a two-byte character is one pair between two escapes");
                const auto expected = IconvJisPair(sjis);
                Require(!expected || jis.substr(3, 2) == *expected,
                        "a JIS X 0208 character becomes its own pair");
                const std::size_t at = Index(jis[3], jis[4]);
                Require(sjis_[at].empty(), "no two characters share a JIS pair");
                sjis_[at] = sjis;
            }
        }
    }
    const std::string& Sjis(char j1, char j2) const { return sjis_[Index(j1, j2)]; }

private:
    static std::size_t Index(char j1, char j2) {
        return static_cast<unsigned char>(j1) * 256u + static_cast<unsigned char>(j2);
    }
    std::array<std::string, 65536> sjis_;
};

const JisTable& Table() {
    static const JisTable table;
    return table;
}

// Reads ISO-2022-JP as a mail program does: only ESC $ B and ESC ( B, each a real switch, no
// empty run, ending in ASCII. Nothing when the text breaks one of these.
std::optional<std::string> DecodeJis(std::string_view jis) {
    std::string sjis;
    bool twoByte = false;
    for (std::size_t i = 0; i < jis.size();) {
        if (jis[i] == '\x1B') {
            const std::string_view escape = jis.substr(i, 3);
            if (escape == "\x1B$B" && !twoByte) {
                twoByte = true;
                if (jis.substr(i + 3, 1) == "\x1B") {
                    return std::nullopt;
                }
            } else if (escape == "\x1B(B" && twoByte) {
                twoByte = false;
            } else {
                return std::nullopt;
            }
            i += 3;
        } else if (twoByte) {
            if (i + 1 >= jis.size()) {
                return std::nullopt;
            }
            const std::string& pair = Table().Sjis(jis[i], jis[i + 1]);
            if (pair.empty()) {
                return std::nullopt;
            }
            sjis += pair;
            i += 2;
        } else {
            sjis += jis[i++];
        }
    }
    if (twoByte) {
        return std::nullopt;
    }
    return sjis;
}

std::size_t CharLength(std::string_view text, std::size_t i) {
    return JisEncoder::IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() &&
                   JisEncoder::IsTrailByte(static_cast<unsigned char>(text[i + 1]))
               ? 2
               : 1;
}

// The text as a mail program shows it again: a lead byte without its second byte as the geta.
std::string Readable(std::string_view sjis) {
    std::string out;
    for (std::size_t i = 0; i < sjis.size();) {
        const std::size_t length = CharLength(sjis, i);
        if (length == 1 && JisEncoder::IsLeadByte(static_cast<unsigned char>(sjis[i]))) {
            out += kGeta;
        } else {
            out += sjis.substr(i, length);
        }
        i += length;
    }
    return out;
}

// The characters of a text, leaving out the ones that preparing body lines may add.
std::vector<std::string_view> CharactersBesideBreaksAndDots(std::string_view text) {
    std::vector<std::string_view> characters;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = CharLength(text, i);
        const std::string_view c = text.substr(i, length);
        if (c != "\r" && c != "\n" && c != ".") {
            characters.push_back(c);
        }
        i += length;
    }
    return characters;
}

void CheckConvert(const std::string& text) {
    const auto decoded = DecodeJis(JisEncoder::Convert(text));
    Require(decoded.has_value(), "escapes balanced, the text ending in ASCII");
    Require(*decoded == Readable(text), "the converted text decodes back");
}

void CheckPieces(const std::string& text, std::size_t maxBytes) {
    const auto pieces = JisEncoder::ConvertInPieces(text, maxBytes);
    Require(!pieces.empty(), "at least one piece");
    const std::string whole = JisEncoder::Convert(text);
    Require(pieces.size() == 1 || whole.size() > maxBytes, "one piece while the text fits");
    std::string joined;
    for (const auto& piece : pieces) {
        Require(piece.size() <= maxBytes, "no piece over its limit");
        Require(!piece.empty() || text.empty(), "no empty piece");
        const auto decoded = DecodeJis(piece);
        Require(decoded.has_value(), "each piece balanced, ending in ASCII");
        joined += *decoded;
    }
    Require(joined == Readable(text), "the pieces decode back to the text");
}

std::optional<std::string> DecodeBase64(std::string_view text) {
    static constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        std::uint32_t group = 0;
        int padding = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const char c = text[i + k];
            const auto index = kAlphabet.find(c);
            if (c == '=' && last && k >= 2 && (k == 3 || text[i + 3] == '=')) {
                ++padding;
                group <<= 6;
            } else if (index != std::string_view::npos && padding == 0) {
                group = group << 6 | static_cast<std::uint32_t>(index);
            } else {
                return std::nullopt;
            }
        }
        out += static_cast<char>(group >> 16 & 0xFF);
        if (padding < 2) {
            out += static_cast<char>(group >> 8 & 0xFF);
        }
        if (padding < 1) {
            out += static_cast<char>(group & 0xFF);
        }
    }
    return out;
}

void CheckBase64(std::string_view bytes) {
    const std::string encoded = Base64::Encode(bytes);
    const std::string expected = UpToZero(bytes);
    Require(encoded.size() == (expected.size() + 2) / 3 * 4, "four characters per three bytes");
    const auto decoded = DecodeBase64(encoded);
    Require(decoded.has_value(), "only the alphabet and final padding");
    Require(*decoded == expected, "Base64 decodes back");
}

void CheckSubject(const std::string& text) {
    const std::string subject = MailMessage::EncodedSubject(text, "\r\n ");
    std::vector<std::string_view> lines;
    Require(SplitCrLfLines(subject, lines), "the fold is the only line break");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view word = lines[i];
        if (i > 0) {
            Require(!word.empty() && word[0] == ' ', "a folded line starts with a blank");
            word.remove_prefix(1);
        }
        Require(word.size() <= kEncodedWordLength, "no encoded word over its limit");
        Require(word.substr(0, 16) == "=?ISO-2022-JP?B?" && word.size() >= 18 &&
                    word.substr(word.size() - 2) == "?=",
                "one encoded word per line");
        const auto piece = DecodeBase64(word.substr(16, word.size() - 18));
        Require(piece.has_value() && piece->size() <= kEncodedWordBytes,
                "each word decodes to at most 381 bytes");
        Require(DecodeJis(*piece).has_value(), "each word balanced, ending in ASCII");
    }
}

void CheckBodyLines(const std::string& text) {
    const std::string prepared = JisEncoder::PrepareBodyLines(text);
    std::size_t start = 0;
    for (std::size_t i = 0; i <= prepared.size(); ++i) {
        if (i < prepared.size() && prepared[i] != '\r' && prepared[i] != '\n') {
            continue;
        }
        const std::string_view line(prepared.data() + start, i - start);
        const bool doubled = line.substr(0, 2) == "..";
        Require(line.size() <= 131 + (doubled ? 1 : 0), "no body line over 131 bytes");
        Require(line.empty() || line[0] != '.' || doubled, "a dot starting a line is doubled");
        start = i + 1;
    }
    Require(CharactersBesideBreaksAndDots(prepared) == CharactersBesideBreaksAndDots(text),
            "every character kept whole, in order");
    std::vector<std::string_view> lines;
    const std::string converted = MailMessage::WithCrLf(JisEncoder::Convert(prepared));
    Require(SplitCrLfLines(converted, lines), "the converted body has only CR LF line ends");
    for (const auto& line : lines) {
        Require(line.size() <= kLineLimit, "no converted body line over 998 bytes");
    }
}

}  // namespace
}  // namespace tolvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tolvane::fuzz;
    const std::string_view bytes = Bytes(data, size);
    const std::string text = UpToZero(bytes);
    // An ESC of the text itself passes unchanged, as a single byte; the escapes checked here
    // are the ones the encoder writes.
    std::string plain;
    for (char c : text) {
        if (c != '\x1B') {
            plain += c;
        }
    }
    CheckConvert(plain);
    CheckPieces(plain, kEncodedWordBytes);
    // Small limits cut short texts often; eight bytes hold any one character.
    CheckPieces(plain, 8 + size % 32);
    CheckSubject(plain);
    CheckBase64(bytes);
    CheckBodyLines(text);
    return 0;
}
