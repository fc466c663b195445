#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "registry/Registry.h"
#include "settings/Settings.h"

namespace tolvane {

// The longest text the store reads back, in CP932 bytes with its terminator.
constexpr std::uint32_t kSettingsTextLimit = 65535;

// How the program's fields take a stored value, as the Windows calls into them do.
// A number: read into the field's four bytes, so a shorter value fills only its own bytes and
// the others keep what the field held. False when the value cannot be read (or is longer).
bool ReadNumberIntoField(const RegKey& key, const char* name, std::uint32_t& field);
// A text: read through a buffer of kSettingsTextLimit bytes, so a longer one cannot be read; it
// runs to its first NUL and never past the stored bytes, so a value written without its
// terminator picks up nothing of the previous text.
bool ReadTextWithinLimit(const RegKey& key, const char* name, std::string& text);

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

    int LoadSettings(Settings& settings);
    int SaveSettings(const Settings& settings);
    int SaveMailSettings(std::uint32_t WithMail, std::uint32_t SmtpPort, const std::string& Smtp,
                         const std::string& From, const std::string& To, const std::string& Subject,
                         const std::string& Body);
    int SaveStartupMode(std::uint32_t AutoStartupMode);
    // Loads the record, lets `change` change it and stores all fourteen values and the added
    // values it changed, all in one transaction, so that a change made beside in the meantime
    // is not undone. LoadSettings reads the added values too; no other save writes them.
    int UpdateSettings(Settings& settings, const std::function<void(Settings&)>& change);

    const std::string& LastError() const { return root_.LastError(); }

private:
    class OpenKeys;

    RegistryHive& root_;
};

}  // namespace tolvane
