#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "registry/Registry.h"
#include "settings/Settings.h"

namespace tolvane {

// The longest text the store reads back, in CP932 bytes with its terminator.
constexpr std::uint32_t kSettingsTextLimit = 65535;

// The key of the settings, below HKEY_CLASSES_ROOT.
constexpr const char* kSettingsKey = "Zr.ClassDlg.1\\Setting";

// What a read found. True only when the value was read into the field; a missing value and
// one that is there but cannot be read (stored with another type, or too long) are told apart,
// since only a missing one may be written back: what cannot be read is someone's value.
struct ValueReading {
    enum class Outcome { Read, Missing, Unreadable };
    Outcome outcome = Outcome::Missing;
    std::uint32_t storedType = 0;  // for an unreadable value: what is stored
    std::uint32_t storedSize = 0;
    operator bool() const { return outcome == Outcome::Read; }  // NOLINT: read as a flag
};

// How the program's fields take a stored value, as the Windows calls into them do, but only a
// value of the field's own type: a text "80" is no number, and its bytes are never taken as one.
// A number: a REG_DWORD read into the field's four bytes, so a shorter value fills only its own
// bytes and the others keep what the field held; a longer one cannot be read.
ValueReading ReadNumberIntoField(const RegKey& key, const char* name, std::uint32_t& field);
// A text: a REG_SZ read through a buffer of kSettingsTextLimit bytes, so a longer one cannot be
// read; it runs to its first NUL and never past the stored bytes, so a value written without
// its terminator picks up nothing of the previous text.
ValueReading ReadTextWithinLimit(const RegKey& key, const char* name, std::string& text);

// A value that is there but could not be read; it is left as it is stored.
struct UnreadableValue {
    std::string name;
    std::uint32_t expectedType = 0;
    ValueReading reading;
};
// For people: "Port is stored as REG_SZ, not as REG_DWORD".
std::string UnreadableText(const UnreadableValue& value);

// What the last load (or update) met besides the values it read.
struct LoadReport {
    std::vector<UnreadableValue> unreadable;
    // Why the settings cannot be saved; empty when they can.
    std::string notSaved;
    // The system refused this account: run as an administrator, they could be saved.
    bool denied = false;
    // Whether the store was read at all; when not, the record is as it was.
    bool read = false;

    // Notes a value that is there but could not be read.
    void Count(const char* name, std::uint32_t expectedType, const ValueReading& reading);
};

// Holds one open key, closed when released or destroyed.
class RegKeyHolder {
public:
    RegKeyHolder() = default;
    RegKeyHolder(const RegKeyHolder&) = delete;
    RegKeyHolder& operator=(const RegKeyHolder&) = delete;
    ~RegKeyHolder() { Release(); }

    RegKey& Key() { return key_; }
    // The status of the close, which writes the changes when it ends the transaction.
    RegStatus Release() { return key_ ? CloseKey(key_) : RegStatus::Success; }

private:
    RegKey key_;
};

// The settings record under HKEY_CLASSES_ROOT\Zr.ClassDlg.1\Setting. Every operation is one
// transaction: one read of the store and at most one change of it. Each returns 1 when it
// read and wrote what it had to and 0 otherwise, with the reason in LastError; a store that
// cannot be opened leaves the record as it is and is not written.
class SettingsStore {
public:
    explicit SettingsStore(RegistryHive& classesRoot) : root_(classesRoot) {}

    // Reads with read access only. Missing values are written back where this account may
    // write; values that cannot be read stay as they are stored. Both, and whether the settings
    // could be saved, are in LastLoad. 1 when everything was read and what was missing written.
    int LoadSettings(Settings& settings);
    int SaveSettings(const Settings& settings);
    int SaveMailSettings(std::uint32_t WithMail, std::uint32_t SmtpPort, const std::string& Smtp,
                         const std::string& From, const std::string& To, const std::string& Subject,
                         const std::string& Body);
    // The record's seven mail values, and those of the mail's TLS and authentication where
    // they change what is stored.
    int SaveMailSettings(const Settings& mail);
    int SaveStartupMode(std::uint32_t AutoStartupMode);
    // Loads the record, lets `change` change it and stores all fourteen values and the added
    // values it changed, all in one transaction, so that a change made beside in the meantime
    // is not undone. LoadSettings reads the added values too; of the other saves only
    // SaveMailSettings writes some, the mail's.
    int UpdateSettings(Settings& settings, const std::function<void(Settings&)>& change);

    const std::string& LastError() const { return root_.LastError(); }
    const LoadReport& LastLoad() const { return lastLoad_; }

private:
    class OpenKeys;

    RegistryHive& root_;
    LoadReport lastLoad_;
};

}  // namespace tolvane
