#include "registry/RegHiveData.h"

#include <cstdio>
#include <unordered_map>

#include "registry/Registry.h"
#include "text/Cp932.h"
#include "text/TextEscape.h"

namespace tolvane {

namespace {

constexpr std::string_view kHeaders[] = {"REGEDIT4", "Windows Registry Editor Version 5.00"};
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && SameRegName(text.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One to eight hex digits, nothing else.
bool ParseHexNumber(std::string_view text, std::uint32_t& number) {
    if (text.empty() || text.size() > 8) {
        return false;
    }
    number = 0;
    for (char c : text) {
        if (HexDigit(c) < 0) {
            return false;
        }
        number = (number << 4) | static_cast<std::uint32_t>(HexDigit(c));
    }
    return true;
}

// Bytes as "01,ff,2": one or two hex digits each, separated by commas.
bool ParseHexBytes(std::string_view text, std::string& out) {
    out.clear();
    while (!text.empty()) {
        const auto comma = text.find(',');
        const std::string_view digits = text.substr(0, comma);
        std::uint32_t byte = 0;
        if (digits.size() > 2 || !ParseHexNumber(digits, byte)) {
            return false;
        }
        out += static_cast<char>(byte);
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
        if (text.empty()) {
            return false;
        }
    }
    return true;
}

// The data after "=": a quoted text, dword:, hex: or hex(N):.
bool ParseData(std::string_view rest, RegValue& value) {
    if (!rest.empty() && rest.front() == '"') {
        std::size_t at = 1;
        std::string text;
        if (!ReadEscaped(rest, at, text, true) || at != rest.size()) {
            return false;
        }
        value.type = RegText;
        value.data = std::move(text);
        value.data += '\0';
        return true;
    }
    if (StartsWithNoCase(rest, "dword:")) {
        std::uint32_t number = 0;
        if (!ParseHexNumber(rest.substr(6), number)) {
            return false;
        }
        value.type = RegNumber;
        value.data.assign(4, '\0');
        for (std::size_t i = 0; i < 4; ++i) {
            value.data[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
        }
        return true;
    }
    if (StartsWithNoCase(rest, "hex:")) {
        value.type = RegBinary;
        return ParseHexBytes(rest.substr(4), value.data);
    }
    if (StartsWithNoCase(rest, "hex(")) {
        const auto close = rest.find("):");
        return close != std::string_view::npos &&
               ParseHexNumber(rest.substr(4, close - 4), value.type) &&
               ParseHexBytes(rest.substr(close + 2), value.data);
    }
    return false;
}

// The name of a value line ("Name" or @) and where its data begins; false when the line
// does not start like a value.
bool ParseName(std::string_view line, std::string& name, std::string_view& rest) {
    std::size_t at = 0;
    name.clear();
    if (!line.empty() && line.front() == '@') {
        at = 1;
    } else if (!line.empty() && line.front() == '"') {
        at = 1;
        if (!ReadEscaped(line, at, name, true)) {
            return false;
        }
    } else {
        return false;
    }
    if (at >= line.size() || line[at] != '=') {
        return false;
    }
    rest = line.substr(at + 1);
    return true;
}

void AppendName(std::string& out, const std::string& name) {
    if (name.empty()) {
        out += '@';
        return;
    }
    out += '"';
    AppendEscaped(out, name, true);
    out += '"';
}

void FormatValue(std::string& out, const RegValue& value) {
    AppendName(out, value.name);
    out += '=';
    const auto& data = value.data;
    if (value.type == RegText && !data.empty() && data.find('\0') == data.size() - 1) {
        out += '"';
        AppendEscaped(out, std::string_view(data).substr(0, data.size() - 1), true);
        out += '"';
    } else if (value.type == RegNumber && data.size() == 4) {
        std::uint32_t number = 0;
        for (std::size_t i = 4; i-- > 0;) {
            number = (number << 8) | static_cast<unsigned char>(data[i]);
        }
        char text[16];
        std::snprintf(text, sizeof text, "dword:%08x", number);
        out += text;
    } else {
        char text[32];
        std::snprintf(text, sizeof text, "hex(%x):", value.type);
        out += text;
        static constexpr char kDigits[] = "0123456789abcdef";
        for (std::size_t i = 0; i < data.size(); ++i) {
            if (i > 0) {
                out += ',';
            }
            const auto byte = static_cast<unsigned char>(data[i]);
            out += kDigits[byte >> 4];
            out += kDigits[byte & 0xF];
        }
    }
    out += '\n';
}

void FormatKept(std::string& out, const std::vector<RegKeptLine>& kept) {
    for (const auto& line : kept) {
        out += line.text;
        out += '\n';
    }
}

// Hands out the physical lines of a file, without their line ends.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}
    bool Next(std::string_view& line) {
        if (at_ >= text_.size()) {
            return false;
        }
        auto end = text_.find('\n', at_);
        if (end == std::string_view::npos) {
            end = text_.size();
        }
        line = text_.substr(at_, end - at_);
        at_ = end + 1;
        ++number_;
        // Editors that convert line ends twice leave CR CR LF; every CR before the LF belongs
        // to the line end, so a kept line never carries one into the next write.
        while (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        return true;
    }
    std::size_t Number() const { return number_; }

private:
    std::string_view text_;
    std::size_t at_ = 0;
    std::size_t number_ = 0;
};

}  // namespace

bool SameRegName(std::string_view a, std::string_view b) {
    return SameIgnoringAsciiCase(a, b);
}

const RegValue* RegKeyData::FindValue(std::string_view name) const {
    for (const auto& value : values) {
        if (SameRegName(value.name, name)) {
            return &value;
        }
    }
    return nullptr;
}

void RegKeyData::SetValue(RegValue value) {
    std::erase_if(kept, [&](const RegKeptLine& line) {
        return line.named && SameRegName(line.name, value.name);
    });
    for (auto& existing : values) {
        if (SameRegName(existing.name, value.name)) {
            existing.type = value.type;
            existing.data = std::move(value.data);
            return;
        }
    }
    values.push_back(std::move(value));
}

RegKeyData* RegHiveData::FindKey(std::string_view path) {
    for (auto& key : keys) {
        if (SameRegName(key.path, path)) {
            return &key;
        }
    }
    return nullptr;
}

RegKeyData& RegHiveData::AddKey(const std::string& path) {
    if (RegKeyData* key = FindKey(path)) {
        return *key;
    }
    keys.push_back(RegKeyData{path, {}, {}});
    return keys.back();
}

bool RegHiveData::Parse(std::string_view text, RegHiveData& hive) {
    hive = RegHiveData{};
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        text.remove_prefix(kUtf8Bom.size());
    }
    LineReader reader(text);
    std::string_view raw;
    // The header is the first line that is not blank.
    bool header = false;
    while (!header && reader.Next(raw)) {
        const std::string_view line = TrimmedView(raw, " \t");
        if (line.empty()) {
            continue;
        }
        for (const auto candidate : kHeaders) {
            header = header || line == candidate;
        }
        if (!header) {
            return false;
        }
    }
    if (!header) {
        return false;
    }

    // Indexes by folded name keep the pass linear; a repeated section or value name finds
    // what the earlier lines made.
    std::unordered_map<std::string, std::size_t> keyIndex;
    std::vector<std::unordered_map<std::string, std::size_t>> valueIndex;
    std::size_t current = 0;
    bool inKey = false;
    auto keep = [&](RegKeptLine line) {
        (inKey ? hive.keys[current].kept : hive.kept).push_back(std::move(line));
    };
    while (reader.Next(raw)) {
        const std::size_t lineNumber = reader.Number();
        const std::string_view line = TrimmedView(raw, " \t");
        if (line.empty()) {
            continue;
        }
        if (line.front() == ';') {
            keep(RegKeptLine{{}, false, std::string(raw)});
            continue;
        }
        if (line.front() == '[') {
            const std::string_view path = line.substr(1, line.size() - 1);
            if (line.size() >= 3 && line.back() == ']' && path.front() != '-') {
                const std::string name(path.substr(0, path.size() - 1));
                const auto [found, added] =
                    keyIndex.emplace(Cp932AsciiLower(name), hive.keys.size());
                if (added) {
                    hive.keys.push_back(RegKeyData{name, {}, {}});
                    valueIndex.emplace_back();
                }
                current = found->second;
                inKey = true;
                continue;
            }
            hive.unreadLines.push_back(lineNumber);
            keep(RegKeptLine{{}, false, std::string(raw)});
            continue;
        }
        RegValue value;
        std::string_view rest;
        const bool named = ParseName(line, value.name, rest);
        const std::string_view firstLine = raw;
        std::string original;  // the physical lines, kept only if the value cannot be read
        // hex data goes on over the next lines while a line ends with a backslash; only then
        // is it copied.
        std::string joined;
        std::string_view data = rest;
        if (named && !rest.empty() && rest.back() == '\\' && StartsWithNoCase(rest, "hex")) {
            joined = rest;
            original = firstLine;
            while (!joined.empty() && joined.back() == '\\') {
                if (!reader.Next(raw)) {
                    // The file ends inside the data. Kept with a line that no data can end
                    // with, it neither takes in the next key's line in the written file nor
                    // reads as data there.
                    original += "\n;";
                    break;
                }
                joined.pop_back();
                joined += TrimmedView(raw, " \t");
                original += '\n';
                original += raw;
            }
            data = joined;
        }
        if (!named || !inKey || !ParseData(data, value)) {
            hive.unreadLines.push_back(lineNumber);
            if (original.empty()) {
                original = firstLine;
            }
            keep(RegKeptLine{named ? value.name : std::string(), named, std::move(original)});
            continue;
        }
        RegKeyData& key = hive.keys[current];
        // A later line of the same name wins, as an import of the file would have it.
        const auto [found, added] =
            valueIndex[current].emplace(Cp932AsciiLower(value.name), key.values.size());
        if (added) {
            key.values.push_back(std::move(value));
        } else {
            key.values[found->second].type = value.type;
            key.values[found->second].data = std::move(value.data);
        }
    }
    // An unreadable line is dropped where a readable value of its name stands.
    for (std::size_t i = 0; i < hive.keys.size(); ++i) {
        std::erase_if(hive.keys[i].kept, [&](const RegKeptLine& line) {
            return line.named && valueIndex[i].count(Cp932AsciiLower(line.name)) != 0;
        });
    }
    return true;
}

std::string RegHiveData::Format() const {
    std::string out = std::string(kHeaders[0]) + "\n";
    FormatKept(out, kept);
    for (const auto& key : keys) {
        out += "\n[" + key.path + "]\n";
        for (const auto& value : key.values) {
            FormatValue(out, value);
        }
        FormatKept(out, key.kept);
    }
    return out;
}

}  // namespace tolvane
