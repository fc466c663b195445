#include "platform/Registry.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/File.h"
#include "platform/TextEscape.h"

namespace tolvane {

namespace {

constexpr const char* kHeader = "REGEDIT4";

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) {
                   return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

void AppendQuoted(std::string& out, const std::string& bytes) {
    out += '"';
    AppendEscaped(out, bytes, true);
    out += '"';
}

// Reads a quoted text starting at text[at] == '"'; leaves at after the closing quote.
bool ReadQuoted(const std::string& text, std::size_t& at, std::string& out) {
    if (at >= text.size() || text[at] != '"') {
        return false;
    }
    ++at;
    return ReadEscaped(text, at, out, true);
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

bool ParseHexBytes(std::string_view text, std::string& out) {
    out.clear();
    if (text.empty()) {
        return true;
    }
    while (true) {
        if (text.size() < 2 || HexDigit(text[0]) < 0 || HexDigit(text[1]) < 0) {
            return false;
        }
        out += static_cast<char>(HexDigit(text[0]) * 16 + HexDigit(text[1]));
        text.remove_prefix(2);
        if (text.empty()) {
            return true;
        }
        if (text[0] != ',') {
            return false;
        }
        text.remove_prefix(1);
    }
}

bool ParseValueLine(const std::string& line, RegValue& value) {
    std::size_t at = 0;
    if (!ReadQuoted(line, at, value.name) || at >= line.size() || line[at] != '=') {
        return false;
    }
    const std::string rest = line.substr(at + 1);
    if (!rest.empty() && rest[0] == '"') {
        std::size_t pos = 0;
        std::string text;
        if (!ReadQuoted(rest, pos, text) || pos != rest.size()) {
            return false;
        }
        value.type = REG_SZ;
        value.data = text + '\0';
        return true;
    }
    if (rest.rfind("dword:", 0) == 0) {
        const std::string digits = rest.substr(6);
        if (digits.size() != 8 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return HexDigit(c) >= 0; })) {
            return false;
        }
        const auto number = static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
        value.type = REG_DWORD;
        value.data.assign(4, '\0');
        for (int i = 0; i < 4; ++i) {
            value.data[static_cast<std::size_t>(i)] = static_cast<char>((number >> (8 * i)) & 0xFF);
        }
        return true;
    }
    if (rest.rfind("hex(", 0) == 0) {
        const auto close = rest.find("):");
        if (close == std::string::npos || close == 4) {
            return false;
        }
        const std::string typeText = rest.substr(4, close - 4);
        if (!std::all_of(typeText.begin(), typeText.end(),
                         [](char c) { return HexDigit(c) >= 0; }) ||
            typeText.size() > 8) {
            return false;
        }
        value.type = static_cast<std::uint32_t>(std::strtoul(typeText.c_str(), nullptr, 16));
        return ParseHexBytes(std::string_view(rest).substr(close + 2), value.data);
    }
    return false;
}

void FormatValue(std::string& out, const RegValue& value) {
    AppendQuoted(out, value.name);
    out += '=';
    const auto& data = value.data;
    if (value.type == REG_SZ && !data.empty() && data.back() == '\0' &&
        data.find('\0') == data.size() - 1) {
        AppendQuoted(out, data.substr(0, data.size() - 1));
    } else if (value.type == REG_DWORD && data.size() == 4) {
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i) {
            number = (number << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
        }
        char text[16];
        std::snprintf(text, sizeof text, "dword:%08x", number);
        out += text;
    } else {
        char text[32];
        std::snprintf(text, sizeof text, "hex(%x):", value.type);
        out += text;
        for (std::size_t i = 0; i < data.size(); ++i) {
            std::snprintf(text, sizeof text, i == 0 ? "%02x" : ",%02x",
                          static_cast<unsigned char>(data[i]));
            out += text;
        }
    }
    out += '\n';
}

}  // namespace

RegKeyData* RegHiveData::FindKey(const std::string& path) {
    for (auto& key : keys) {
        if (SameName(key.path, path)) {
            return &key;
        }
    }
    return nullptr;
}

bool RegHiveData::Parse(const std::string& text, RegHiveData& hive) {
    hive.keys.clear();
    std::size_t at = 0;
    bool first = true;
    while (at < text.size()) {
        auto end = text.find('\n', at);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (first) {
            if (line != kHeader) {
                return false;
            }
            first = false;
            continue;
        }
        if (line.empty()) {
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3) {
                return false;
            }
            const std::string path = line.substr(1, line.size() - 2);
            if (hive.FindKey(path) == nullptr) {
                hive.keys.push_back(RegKeyData{path, {}});
            }
            continue;
        }
        RegValue value;
        if (hive.keys.empty() || !ParseValueLine(line, value)) {
            return false;
        }
        auto& values = hive.keys.back().values;
        auto same = std::find_if(values.begin(), values.end(),
                                 [&](const RegValue& v) { return SameName(v.name, value.name); });
        if (same != values.end()) {
            *same = std::move(value);
        } else {
            values.push_back(std::move(value));
        }
    }
    return !first;
}

std::string RegHiveData::Format() const {
    std::string out = std::string(kHeader) + "\n";
    for (const auto& key : keys) {
        out += "\n[" + key.path + "]\n";
        for (const auto& value : key.values) {
            FormatValue(out, value);
        }
    }
    return out;
}

RegistryHive::RegistryHive(std::string path) : path_(std::move(path)) {}

std::string RegistryHive::ClassesRootPath() {
    if (const char* path = std::getenv("TOLVANE_REGISTRY"); path != nullptr && *path != '\0') {
        return path;
    }
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0') {
        config = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        config = std::string(home) + "/.config";
    } else {
        config = ".config";
    }
    return config + "/tolvane/HKEY_CLASSES_ROOT.reg";
}

bool RegistryHive::Load(RegHiveData& hive) {
    hive.keys.clear();
    std::string text;
    if (!ReadWholeFile(path_, text)) {
        if (errno == ENOENT) {
            return true;
        }
    } else if (RegHiveData::Parse(text, hive)) {
        return true;
    }
    // Never overwrite what we cannot read: keep it beside and start from empty.
    hive.keys.clear();
    std::string kept = path_ + ".bad";
    for (int n = 1; FileExists(kept) && n < 1000; ++n) {
        kept = path_ + ".bad." + std::to_string(n);
    }
    return std::rename(path_.c_str(), kept.c_str()) == 0;
}

bool RegistryHive::Store(const RegHiveData& hive) {
    const auto slash = path_.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        MakeDirectories(path_.substr(0, slash));
    }
    return ReplaceFileAtomically(path_, hive.Format());
}

namespace {

std::string LockPath(const std::string& path) {
    return path + ".lock";
}

bool EnsureFolder(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 || MakeDirectories(path.substr(0, slash));
}

}  // namespace

long RegistryHive::CreateKey(const std::string& path) {
    if (!EnsureFolder(path_)) {
        return ERROR_ACCESS_DENIED;
    }
    FileLock lock(LockPath(path_));
    RegHiveData hive;
    if (!lock.Locked() || !Load(hive)) {
        return ERROR_ACCESS_DENIED;
    }
    // Creating a key creates its missing parents, as the registry does.
    bool changed = false;
    std::size_t at = 0;
    while (true) {
        at = path.find('\\', at);
        const std::string part = path.substr(0, at);
        if (hive.FindKey(part) == nullptr) {
            hive.keys.push_back(RegKeyData{part, {}});
            changed = true;
        }
        if (at == std::string::npos) {
            break;
        }
        ++at;
    }
    if (changed && !Store(hive)) {
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

long RegistryHive::WithKey(const std::string& key,
                           const std::function<long(RegHiveData&, RegKeyData&)>& action) {
    FileLock lock(LockPath(path_));
    RegHiveData hive;
    if (!lock.Locked() || !Load(hive)) {
        return ERROR_ACCESS_DENIED;
    }
    RegKeyData* found = hive.FindKey(key);
    return found == nullptr ? ERROR_INVALID_HANDLE : action(hive, *found);
}

long RegistryHive::QueryValue(const std::string& key, const std::string& name, std::uint32_t* type,
                              std::uint8_t* data, std::uint32_t* size) {
    return WithKey(key, [&](RegHiveData&, RegKeyData& found) -> long {
        for (const auto& value : found.values) {
            if (!SameName(value.name, name)) {
                continue;
            }
            if (type != nullptr) {
                *type = value.type;
            }
            const auto length = static_cast<std::uint32_t>(value.data.size());
            if (data != nullptr) {
                if (size == nullptr || *size < length) {
                    if (size != nullptr) {
                        *size = length;
                    }
                    return ERROR_MORE_DATA;
                }
                std::memcpy(data, value.data.data(), length);
            }
            if (size != nullptr) {
                *size = length;
            }
            return ERROR_SUCCESS;
        }
        return ERROR_FILE_NOT_FOUND;
    });
}

long RegistryHive::SetValue(const std::string& key, const std::string& name, std::uint32_t type,
                            const std::uint8_t* data, std::uint32_t size) {
    return WithKey(key, [&](RegHiveData& hive, RegKeyData& found) -> long {
        RegValue value{
            name, type,
            std::string(reinterpret_cast<const char*>(data), data != nullptr ? size : 0)};
        auto same = std::find_if(found.values.begin(), found.values.end(),
                                 [&](const RegValue& v) { return SameName(v.name, name); });
        if (same != found.values.end()) {
            value.name = same->name;
            *same = std::move(value);
        } else {
            found.values.push_back(std::move(value));
        }
        return Store(hive) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    });
}

}  // namespace tolvane
