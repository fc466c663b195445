#include "settings/SettingsStore.h"

#include <vector>

namespace tolvane {

namespace {

constexpr std::uint32_t kTextLimit = 65535;  // longest text accepted, terminator included

void WriteNumber(const HKEY& key, const char* name, std::uint32_t value) {
    std::uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    RegSetValueEx(key, name, REG_DWORD, bytes, sizeof bytes);
}

void WriteText(const HKEY& key, const char* name, const std::string& value) {
    RegSetValueEx(key, name, REG_SZ, reinterpret_cast<const std::uint8_t*>(value.c_str()),
                  static_cast<std::uint32_t>(value.size() + 1));
}

bool ReadNumber(const HKEY& key, const char* name, std::uint32_t& value) {
    std::uint8_t bytes[4];
    std::uint32_t size = sizeof bytes;
    std::uint32_t type = 0;
    if (RegQueryValueEx(key, name, &type, bytes, &size) != ERROR_SUCCESS) {
        return false;
    }
    // A shorter value fills only its own bytes of the field, as a read into its 4 bytes would.
    for (std::uint32_t i = 0; i < size; ++i) {
        value = (value & ~(0xFFu << (8 * i))) | (static_cast<std::uint32_t>(bytes[i]) << (8 * i));
    }
    return true;
}

bool ReadText(const HKEY& key, const char* name, std::string& value) {
    std::vector<std::uint8_t> buffer(kTextLimit, 0);
    std::uint32_t size = kTextLimit;
    std::uint32_t type = 0;
    if (RegQueryValueEx(key, name, &type, buffer.data(), &size) != ERROR_SUCCESS) {
        return false;
    }
    // The text runs to the first NUL, and never past the stored data: a hand-written value
    // without a terminator must not pick up bytes of the previous text.
    std::size_t length = 0;
    while (length < size && buffer[length] != 0) {
        ++length;
    }
    value.assign(reinterpret_cast<const char*>(buffer.data()), length);
    return true;
}

}  // namespace

// The two keys every operation opens, closed in reverse order when it ends.
class SettingsStore::OpenKeys {
public:
    explicit OpenKeys(RegistryHive& root) {
        RegCreateKeyEx(RootKey(root), "Zr.ClassDlg.1", program_.Key());
        RegCreateKeyEx(program_.Key(), "Setting", setting_.Key());
    }
    ~OpenKeys() {
        setting_.Release();
        program_.Release();
    }
    const HKEY& Setting() { return setting_.Key(); }

private:
    RegKeyHolder program_;
    RegKeyHolder setting_;
};

void SettingsStore::LoadSettings(Settings& settings) {
    OpenKeys keys(root_);
    for (const auto& field : kSettingsFields) {
        if (field.number != nullptr) {
            if (!ReadNumber(keys.Setting(), field.name, settings.*field.number)) {
                WriteNumber(keys.Setting(), field.name, settings.*field.number);
            }
        } else if (!ReadText(keys.Setting(), field.name, settings.*field.text)) {
            WriteText(keys.Setting(), field.name, settings.*field.text);
        }
    }
}

void SettingsStore::SaveSettings(const Settings& settings) {
    OpenKeys keys(root_);
    for (const auto& field : kSettingsFields) {
        if (field.number != nullptr) {
            WriteNumber(keys.Setting(), field.name, settings.*field.number);
        } else {
            WriteText(keys.Setting(), field.name, settings.*field.text);
        }
    }
}

void SettingsStore::SaveMailSettings(std::uint32_t WithMail, std::uint32_t SmtpPort,
                                     const std::string& Smtp, const std::string& From,
                                     const std::string& To, const std::string& Subject,
                                     const std::string& Body) {
    OpenKeys keys(root_);
    WriteNumber(keys.Setting(), "WithMail", WithMail);
    WriteNumber(keys.Setting(), "SmtpPort", SmtpPort);
    WriteText(keys.Setting(), "Smtp", Smtp);
    WriteText(keys.Setting(), "From", From);
    WriteText(keys.Setting(), "To", To);
    WriteText(keys.Setting(), "Subject", Subject);
    WriteText(keys.Setting(), "Body", Body);
}

void SettingsStore::SaveStartupMode(std::uint32_t AutoStartupMode) {
    OpenKeys keys(root_);
    WriteNumber(keys.Setting(), "AutoStartupMode", AutoStartupMode);
}

}  // namespace tolvane
