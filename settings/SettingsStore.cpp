#include "settings/SettingsStore.h"

#include <vector>

namespace tolvane {

namespace {

void WriteNumber(const RegKey& key, const char* name, std::uint32_t value) {
    std::uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    SetValue(key, name, RegNumber, bytes, sizeof bytes);
}

void WriteText(const RegKey& key, const char* name, const std::string& value) {
    SetValue(key, name, RegText, reinterpret_cast<const std::uint8_t*>(value.c_str()),
             static_cast<std::uint32_t>(value.size() + 1));
}


void ReadAll(const RegKey& key, Settings& settings) {
    for (const auto& field : kSettingsFields) {
        if (field.number != nullptr) {
            if (!ReadNumberIntoField(key, field.name, settings.*field.number)) {
                WriteNumber(key, field.name, settings.*field.number);
            }
        } else if (!ReadTextWithinLimit(key, field.name, settings.*field.text)) {
            WriteText(key, field.name, settings.*field.text);
        }
    }
    // An added value that is missing keeps what the record holds and stays missing, so a store
    // that never had them looks as it always did.
    for (const auto& field : kAddedSettingsFields) {
        if (field.number != nullptr) {
            ReadNumberIntoField(key, field.name, settings.*field.number);
        } else {
            ReadTextWithinLimit(key, field.name, settings.*field.text);
        }
    }
}

// The added values that a change gave a new value; the others are left as stored (or missing).
void WriteChangedAdded(const RegKey& key, const Settings& before, const Settings& after) {
    for (const auto& field : kAddedSettingsFields) {
        if (field.number != nullptr) {
            if (before.*field.number != after.*field.number) {
                WriteNumber(key, field.name, after.*field.number);
            }
        } else if (before.*field.text != after.*field.text) {
            WriteText(key, field.name, after.*field.text);
        }
    }
}

void WriteAll(const RegKey& key, const Settings& settings) {
    for (const auto& field : kSettingsFields) {
        if (field.number != nullptr) {
            WriteNumber(key, field.name, settings.*field.number);
        } else {
            WriteText(key, field.name, settings.*field.text);
        }
    }
}

}  // namespace

bool ReadNumberIntoField(const RegKey& key, const char* name, std::uint32_t& field) {
    std::uint8_t bytes[4];
    std::uint32_t size = sizeof bytes;
    std::uint32_t type = 0;
    if (QueryValue(key, name, &type, bytes, &size) != RegStatus::Success) {
        return false;
    }
    for (std::uint32_t i = 0; i < size; ++i) {
        field = (field & ~(0xFFu << (8 * i))) | (static_cast<std::uint32_t>(bytes[i]) << (8 * i));
    }
    return true;
}

bool ReadTextWithinLimit(const RegKey& key, const char* name, std::string& text) {
    std::vector<std::uint8_t> buffer(kSettingsTextLimit, 0);
    std::uint32_t size = kSettingsTextLimit;
    std::uint32_t type = 0;
    if (QueryValue(key, name, &type, buffer.data(), &size) != RegStatus::Success) {
        return false;
    }
    std::size_t length = 0;
    while (length < size && buffer[length] != 0) {
        ++length;
    }
    text.assign(reinterpret_cast<const char*>(buffer.data()), length);
    return true;
}

// The two keys every operation opens, closed in reverse order when it ends; the last close
// writes the operation's changes.
class SettingsStore::OpenKeys {
public:
    explicit OpenKeys(RegistryHive& root) {
        CreateKey(RootKey(root), "Zr.ClassDlg.1", program_.Key());
        CreateKey(program_.Key(), "Setting", setting_.Key());
    }
    const RegKey& Setting() { return setting_.Key(); }
    bool Opened() { return static_cast<bool>(setting_.Key()); }
    // 1 when the keys were open and their changes are written.
    int Close() {
        const bool opened = Opened();
        const RegStatus setting = setting_.Release();
        const RegStatus program = program_.Release();
        return opened && setting == RegStatus::Success && program == RegStatus::Success ? 1 : 0;
    }

private:
    RegKeyHolder program_;
    RegKeyHolder setting_;
};

int SettingsStore::LoadSettings(Settings& settings) {
    OpenKeys keys(root_);
    ReadAll(keys.Setting(), settings);
    return keys.Close();
}

int SettingsStore::SaveSettings(const Settings& settings) {
    OpenKeys keys(root_);
    WriteAll(keys.Setting(), settings);
    return keys.Close();
}

int SettingsStore::UpdateSettings(Settings& settings,
                                  const std::function<void(Settings&)>& change) {
    OpenKeys keys(root_);
    if (!keys.Opened()) {
        return 0;
    }
    ReadAll(keys.Setting(), settings);
    const Settings loaded = settings;
    change(settings);
    WriteAll(keys.Setting(), settings);
    WriteChangedAdded(keys.Setting(), loaded, settings);
    return keys.Close();
}

int SettingsStore::SaveMailSettings(std::uint32_t WithMail, std::uint32_t SmtpPort,
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
    return keys.Close();
}

int SettingsStore::SaveStartupMode(std::uint32_t AutoStartupMode) {
    OpenKeys keys(root_);
    WriteNumber(keys.Setting(), "AutoStartupMode", AutoStartupMode);
    return keys.Close();
}

}  // namespace tolvane
