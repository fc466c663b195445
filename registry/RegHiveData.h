#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

struct RegValue {
    std::string name;  // empty for the key's default value ("@")
    std::uint32_t type = 0;
    std::string data;
};

// A line of a hive file that was not taken as a key or a value (a comment, a value that could
// not be read). It is written back as it stands, unless a value of its name is set.
struct RegKeptLine {
    std::string name;  // the value's name when it could be read
    bool named = false;
    std::string text;  // the physical lines, joined by "\n"
};

struct RegKeyData {
    std::string path;  // subkeys joined by "\", without the hive
    std::vector<RegValue> values;
    std::vector<RegKeptLine> kept;

    const RegValue* FindValue(std::string_view name) const;
    // Creates the value or replaces it in its place, keeping its first spelling.
    void SetValue(RegValue value);
};

// The contents of one hive file in the style of REGEDIT4, as regedit writes and reads them.
struct RegHiveData {
    std::vector<RegKeyData> keys;
    std::vector<RegKeptLine> kept;  // before the first key
    // Lines (from 1) that were not read as a header, key, value, comment or blank line.
    std::vector<std::size_t> unreadLines;

    RegKeyData* FindKey(std::string_view path);
    RegKeyData& AddKey(const std::string& path);

    // Reads the bytes of a hive file in one pass. False only when they are no hive file at
    // all (no header); a line that cannot be read costs only itself and is kept as it stands.
    static bool Parse(std::string_view text, RegHiveData& hive);
    std::string Format() const;
};

// Registry names compare without regard to ASCII case; CP932 trail bytes stay as they are.
bool SameRegName(std::string_view a, std::string_view b);

}  // namespace tolvane
