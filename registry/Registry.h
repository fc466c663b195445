#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tolvane {

// Value types with the numbers the registry (and a .reg file's hex(N)) gives them.
enum RegType : std::uint32_t {
    RegNone = 0,
    RegText = 1,
    RegExpandText = 2,
    RegBinary = 3,
    RegNumber = 4
};
// What a registry call came to. The numbers are the Windows error codes, so that any other code
// the real registry gives passes through as its number.
enum class RegStatus : long {
    Success = 0,
    NotFound = 2,
    AccessDenied = 5,
    InvalidHandle = 6,
    Failed = 31,
    MoreData = 234,
};

// The type's name as regedit shows it ("REG_DWORD"), or "type N".
std::string RegTypeName(std::uint32_t type);

struct RegValue;

class RegTransaction;
struct RegOpenState;  // what an open transaction holds, per platform

// One hive. Keys opened from its root begin a transaction: the hive is read once, keys opened
// below share what was read, and changes are kept until the last of those keys is closed,
// which writes them as one change. Another transaction waits for that one, but no longer
// than the lock wait; past it the opening fails. (On Windows the hive is the real registry,
// where each value is written at once; the transaction holds a named mutex of the whole
// machine, so that another transaction sees all of its changes or none. Without the lock,
// which another account's mutex may refuse, a transaction only reads.)
class RegistryHive {
public:
    static constexpr std::chrono::milliseconds kLockWait{30000};

    explicit RegistryHive(std::string path, std::chrono::milliseconds lockWait = kLockWait);
    RegistryHive(const RegistryHive&) = delete;
    RegistryHive& operator=(const RegistryHive&) = delete;
    ~RegistryHive();

    const std::string& Path() const { return path_; }

    // The hive of HKEY_CLASSES_ROOT: $TOLVANE_REGISTRY, else for root the system's store
    // /etc/tolvane/HKEY_CLASSES_ROOT.reg (the one the system service reads), else
    // $XDG_CONFIG_HOME/tolvane/HKEY_CLASSES_ROOT.reg (XDG_CONFIG_HOME defaulting to ~/.config).
    static std::string ClassesRootPath() { return ClassesRoot().path; }
    // That hive and why it is the one, for people ("$TOLVANE_REGISTRY", ...); no reason where
    // there is only one.
    struct Choice {
        std::string path;
        std::string why;
    };
    static Choice ClassesRoot();
    // The same rule for a given user: `superuser` as the effective user id 0 would be.
    static Choice ClassesRoot(bool superuser);
    // A cheap stamp of the key's last change, read without a transaction: a different stamp
    // means the key may have changed since, the same one that it has not. (The file's identity,
    // size and modification time, links followed; on Windows the key's last write time.)
    std::string ChangeStamp(const std::string& key) const;
    // Where the key is kept, for people: the hive file, or on Windows the key's whole name and
    // the part of the registry that holds it.
    std::string Where(const std::string& key) const;

    // Why the last failed opening, write or closing failed: one line for people.
    const std::string& LastError() const { return lastError_; }
    // What transactions met without failing (lines they could not read, a file they set
    // aside), one line each; taking them empties the list.
    std::vector<std::string> TakeNotes();

    // The open transaction, or a new one; null, with the status, when the hive could not be
    // locked or read. Keys opened from the root call it.
    std::shared_ptr<RegTransaction> Join(RegStatus& status);

    // The steps of a transaction, for RegTransaction and the four calls: Begin locks and reads,
    // the value calls work on what was read, Commit writes the changes and lets go.
    RegStatus Begin();
    RegStatus CreateKey(const std::string& path);
    // Whether the key is there to be read; it is neither created nor changed.
    RegStatus OpenKey(const std::string& path);
    // Whether a change to the key could be written, without writing anything; the reason in
    // LastError when not (AccessDenied when the system refuses this account).
    RegStatus Writable(const std::string& path);
    // The value as stored, type and bytes; the buffer contract of QueryValue lies above this.
    RegStatus ReadValue(const std::string& key, const std::string& name, RegValue& value);
    RegStatus SetValue(const std::string& key, const std::string& name, std::uint32_t type,
                       const std::uint8_t* data, std::uint32_t size);
    RegStatus Commit();

private:
    void Fail(std::string reason) { lastError_ = std::move(reason); }
    void Note(std::string note);

    std::string path_;
    std::chrono::milliseconds lockWait_;
    std::unique_ptr<RegOpenState> open_;
    std::weak_ptr<RegTransaction> transaction_;
    std::string lastError_;
    std::vector<std::string> notes_;
};

// An open key: the hive, the transaction it belongs to and the key's path within the hive. A
// default-constructed key is the null handle, on which every call fails; the root key of a
// hive has no transaction yet.
struct RegKey {
    RegistryHive* hive = nullptr;
    std::shared_ptr<RegTransaction> transaction;
    std::string path;
    explicit operator bool() const { return hive != nullptr; }
};

RegKey RootKey(RegistryHive& hive);

// Begins a transaction at the hive's root (or joins the open one): the keys opened from the
// result share it until it and they are all closed, so that what is read and what is then
// written are one change, even where a key had to be created in between.
RegStatus OpenRoot(RegistryHive& hive, RegKey& result);

// The four calls the settings store is written against, with the Windows semantics it needs:
// create opens or creates, a read into a too-small buffer fails with RegStatus::MoreData, type and
// data length are kept as written. Closing the last key of a transaction writes its changes;
// its status tells whether they were written.
RegStatus CreateKey(const RegKey& parent, const std::string& subkey, RegKey& result);
// Opens an existing key for reading only; RegStatus::NotFound when it is not there.
RegStatus OpenKey(const RegKey& parent, const std::string& subkey, RegKey& result);
// Whether changes to the key could be written (see RegistryHive::Writable).
RegStatus CheckWritable(const RegKey& key);
RegStatus QueryValue(const RegKey& key, const std::string& name, std::uint32_t* type,
                     std::uint8_t* data, std::uint32_t* size);
RegStatus SetValue(const RegKey& key, const std::string& name, std::uint32_t type,
                   const std::uint8_t* data, std::uint32_t size);
RegStatus CloseKey(RegKey& key);

}  // namespace tolvane
