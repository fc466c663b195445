#include "settings/SettingsStore.h"

#include <vector>

namespace tolvane {

namespace {

constexpr const char* kProgramKey = "Zr.ClassDlg.1";
constexpr const char* kSettingKey = "Setting";

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

void WriteField(const RegKey& key, const SettingsField& field, const Settings& settings) {
    if (field.number != nullptr) {
        WriteNumber(key, field.name, settings.*field.number);
    } else {
        WriteText(key, field.name, settings.*field.text);
    }
}

// Reads the fourteen values and the added ones; the fourteen that are missing are given back,
// in table order.
std::vector<const SettingsField*> ReadAll(const RegKey& key, Settings& settings,
                                          LoadReport& report) {
    std::vector<const SettingsField*> missing;
    for (const auto& field : kSettingsFields) {
        const bool number = field.number != nullptr;
        const ValueReading reading =
            number ? ReadNumberIntoField(key, field.name, settings.*field.number)
                   : ReadTextWithinLimit(key, field.name, settings.*field.text);
        if (reading.outcome == ValueReading::Outcome::Missing) {
            missing.push_back(&field);
        }
        report.Count(field.name, number ? RegNumber : RegText, reading);
    }
    // An added value that is missing keeps what the record holds and stays missing, so a store
    // that never had them looks as it always did.
    for (const auto& field : kAddedSettingsFields) {
        const bool number = field.number != nullptr;
        report.Count(field.name, number ? RegNumber : RegText,
                     number ? ReadNumberIntoField(key, field.name, settings.*field.number)
                            : ReadTextWithinLimit(key, field.name, settings.*field.text));
    }
    return missing;
}

// The added values that a change gave a new value; the others are left as stored (or missing).
void WriteChangedAdded(const RegKey& key, const Settings& before, const Settings& after) {
    for (const auto& field : kAddedSettingsFields) {
        const bool changed = field.number != nullptr ? before.*field.number != after.*field.number
                                                     : before.*field.text != after.*field.text;
        if (changed) {
            WriteField(key, field, after);
        }
    }
}

void WriteAll(const RegKey& key, const Settings& settings) {
    for (const auto& field : kSettingsFields) {
        WriteField(key, field, settings);
    }
}

// The value as stored: Read when it is there with the expected type and fits the buffer.
ValueReading Query(const RegKey& key, const char* name, std::uint32_t expectedType,
                   std::uint8_t* buffer, std::uint32_t& size) {
    const std::uint32_t capacity = size;
    std::uint32_t type = 0;
    const RegStatus status = QueryValue(key, name, &type, buffer, &size);
    ValueReading reading;
    // A key that is not there holds no value either.
    if (status == RegStatus::NotFound || status == RegStatus::InvalidHandle) {
        return reading;
    }
    reading.storedType = type;
    reading.storedSize = size;
    if (status == RegStatus::Success && type == expectedType && size <= capacity) {
        reading.outcome = ValueReading::Outcome::Read;
    } else {
        reading.outcome = ValueReading::Outcome::Unreadable;
    }
    return reading;
}

}  // namespace

ValueReading ReadNumberIntoField(const RegKey& key, const char* name, std::uint32_t& field) {
    std::uint8_t bytes[4];
    std::uint32_t size = sizeof bytes;
    const ValueReading reading = Query(key, name, RegNumber, bytes, size);
    if (reading) {
        for (std::uint32_t i = 0; i < size; ++i) {
            field =
                (field & ~(0xFFu << (8 * i))) | (static_cast<std::uint32_t>(bytes[i]) << (8 * i));
        }
    }
    return reading;
}

ValueReading ReadTextWithinLimit(const RegKey& key, const char* name, std::string& text) {
    std::vector<std::uint8_t> buffer(kSettingsTextLimit, 0);
    std::uint32_t size = kSettingsTextLimit;
    const ValueReading reading = Query(key, name, RegText, buffer.data(), size);
    if (reading) {
        std::size_t length = 0;
        while (length < size && buffer[length] != 0) {
            ++length;
        }
        text.assign(reinterpret_cast<const char*>(buffer.data()), length);
    }
    return reading;
}

std::string UnreadableText(const UnreadableValue& value) {
    const ValueReading& reading = value.reading;
    if (reading.storedType != value.expectedType) {
        return value.name + " is stored as " + RegTypeName(reading.storedType) + ", not as " +
               RegTypeName(value.expectedType);
    }
    const std::uint32_t limit = value.expectedType == RegText ? kSettingsTextLimit : 4;
    return value.name + " is stored with " + std::to_string(reading.storedSize) +
           " bytes, more than the " + std::to_string(limit) + " that are read";
}

void LoadReport::Count(const char* name, std::uint32_t expectedType, const ValueReading& reading) {
    if (reading.outcome == ValueReading::Outcome::Unreadable) {
        unreadable.push_back(UnreadableValue{name, expectedType, reading});
    }
}

// The two keys every operation opens, below a root that holds the operation's transaction
// until the end: closed in reverse order, the last close writes the operation's changes.
class SettingsStore::OpenKeys {
public:
    enum class Access { Read, Write };

    OpenKeys(RegistryHive& root, Access access) {
        begun_ = OpenRoot(root, root_.Key());
        if (access == Access::Write) {
            OpenForWriting();
        } else {
            OpenKey(root_.Key(), kProgramKey, program_.Key());
            OpenKey(program_.Key(), kSettingKey, setting_.Key());
        }
    }
    // Opens the keys anew with write access, creating them where missing; the transaction
    // stays the same.
    void OpenForWriting() {
        setting_.Release();
        program_.Release();
        CreateKey(root_.Key(), kProgramKey, program_.Key());
        CreateKey(program_.Key(), kSettingKey, setting_.Key());
    }
    const RegKey& Setting() { return setting_.Key(); }
    bool Opened() { return static_cast<bool>(setting_.Key()); }
    // Success when the transaction began, or why not.
    RegStatus Begun() const { return begun_; }
    // Ends the transaction: success when the changes are written.
    RegStatus Close() {
        setting_.Release();
        program_.Release();
        return root_.Release();
    }

private:
    RegStatus begun_ = RegStatus::InvalidHandle;
    RegKeyHolder root_;
    RegKeyHolder program_;
    RegKeyHolder setting_;
};

namespace {

// 1 when the keys were open and their changes are written.
int Finish(bool opened, RegStatus closed) {
    return opened && closed == RegStatus::Success ? 1 : 0;
}

}  // namespace

int SettingsStore::LoadSettings(Settings& settings) {
    lastLoad_ = LoadReport{};
    OpenKeys keys(root_, OpenKeys::Access::Read);
    RegStatus status = keys.Begun();
    lastLoad_.read = status == RegStatus::Success;
    if (status == RegStatus::Success) {
        const auto missing = ReadAll(keys.Setting(), settings, lastLoad_);
        if (!missing.empty()) {
            // Written back from the record's current content, normally the default.
            keys.OpenForWriting();
            for (const SettingsField* field : missing) {
                WriteField(keys.Setting(), *field, settings);
            }
        } else {
            status = CheckWritable(keys.Setting());
        }
    }
    const RegStatus closed = keys.Close();
    if (status == RegStatus::Success) {
        status = closed;
    }
    if (status != RegStatus::Success) {
        lastLoad_.notSaved = LastError();
        lastLoad_.denied = status == RegStatus::AccessDenied;
    }
    return Finish(keys.Begun() == RegStatus::Success, closed);
}

int SettingsStore::SaveSettings(const Settings& settings) {
    OpenKeys keys(root_, OpenKeys::Access::Write);
    WriteAll(keys.Setting(), settings);
    const bool opened = keys.Opened();
    return Finish(opened, keys.Close());
}

int SettingsStore::UpdateSettings(Settings& settings,
                                  const std::function<void(Settings&)>& change) {
    lastLoad_ = LoadReport{};
    OpenKeys keys(root_, OpenKeys::Access::Write);
    if (!keys.Opened()) {
        keys.Close();
        return 0;
    }
    ReadAll(keys.Setting(), settings, lastLoad_);
    const Settings loaded = settings;
    change(settings);
    WriteAll(keys.Setting(), settings);
    WriteChangedAdded(keys.Setting(), loaded, settings);
    return Finish(true, keys.Close());
}

int SettingsStore::SaveMailSettings(std::uint32_t WithMail, std::uint32_t SmtpPort,
                                    const std::string& Smtp, const std::string& From,
                                    const std::string& To, const std::string& Subject,
                                    const std::string& Body) {
    OpenKeys keys(root_, OpenKeys::Access::Write);
    WriteNumber(keys.Setting(), "WithMail", WithMail);
    WriteNumber(keys.Setting(), "SmtpPort", SmtpPort);
    WriteText(keys.Setting(), "Smtp", Smtp);
    WriteText(keys.Setting(), "From", From);
    WriteText(keys.Setting(), "To", To);
    WriteText(keys.Setting(), "Subject", Subject);
    WriteText(keys.Setting(), "Body", Body);
    const bool opened = keys.Opened();
    return Finish(opened, keys.Close());
}

int SettingsStore::SaveMailSettings(const Settings& mail) {
    OpenKeys keys(root_, OpenKeys::Access::Write);
    const bool opened = keys.Opened();
    if (opened) {
        for (const char* name : {"WithMail", "SmtpPort", "Smtp", "From", "To", "Subject", "Body"}) {
            WriteField(keys.Setting(), *FindSettingsField(name), mail);
        }
        // The added values as anywhere: written only where they change what is stored.
        Settings stored;
        LoadReport unused;
        ReadAll(keys.Setting(), stored, unused);
        Settings changed = stored;
        CopyMailSecurityValues(mail, changed);
        WriteChangedAdded(keys.Setting(), stored, changed);
    }
    return Finish(opened, keys.Close());
}

int SettingsStore::SaveStartupMode(std::uint32_t AutoStartupMode) {
    OpenKeys keys(root_, OpenKeys::Access::Write);
    WriteNumber(keys.Setting(), "AutoStartupMode", AutoStartupMode);
    const bool opened = keys.Opened();
    return Finish(opened, keys.Close());
}

}  // namespace tolvane
