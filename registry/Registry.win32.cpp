#include "registry/Registry.h"

#include <windows.h>

#include <cstring>
#include <utility>
#include <vector>

#include "os/Win32Text.h"
#include "registry/RegHiveData.h"

namespace {

const HKEY kClassesRoot = HKEY_CLASSES_ROOT;

// One open key of the real registry, closed by the destructor.
class HeldKey {
public:
    HeldKey(const std::string& path, REGSAM access) {
        status_ = RegOpenKeyExW(kClassesRoot, tolvane::ToWide(path).c_str(), 0, access, &key_);
    }
    HeldKey(const HeldKey&) = delete;
    HeldKey& operator=(const HeldKey&) = delete;
    ~HeldKey() {
        if (status_ == ERROR_SUCCESS) {
            RegCloseKey(key_);
        }
    }
    LSTATUS Status() const { return status_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
    LSTATUS status_;
};

bool IsText(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

tolvane::RegStatus Status(LSTATUS status) {
    return static_cast<tolvane::RegStatus>(status);
}

// The error for people, in plain ASCII so that every place that shows it can take it.
std::string ErrorText(LSTATUS status) {
    const std::string number = "error " + std::to_string(status);
    switch (status) {
        case ERROR_ACCESS_DENIED:
            return "access denied (" + number + ")";
        case ERROR_FILE_NOT_FOUND:
            return "not found (" + number + ")";
        default:
            return number;
    }
}

// The settings' whole key under the merged view, and the two places Windows may keep it.
const std::string kRootName = "HKEY_CLASSES_ROOT";

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// A key that is not there is no open key to the callers, as with the file-backed hive.
tolvane::RegStatus KeyStatus(LSTATUS status) {
    return status == ERROR_FILE_NOT_FOUND ? tolvane::RegStatus::InvalidHandle : Status(status);
}

}  // namespace

namespace tolvane {

// Each value is written at once; what makes the calls of a transaction one change is a named
// mutex of the whole machine, held from the first key to the last close, as the hive file's
// lock is on Linux.
struct RegOpenState {
    HANDLE mutex = nullptr;
    bool held = false;
    std::string lockProblem;  // why it is not held: then only reads go ahead
    LSTATUS lockError = ERROR_SUCCESS;

    RegOpenState() = default;
    RegOpenState(const RegOpenState&) = delete;
    RegOpenState& operator=(const RegOpenState&) = delete;
    ~RegOpenState() {
        if (held) {
            ReleaseMutex(mutex);
        }
        if (mutex != nullptr) {
            CloseHandle(mutex);
        }
    }
};

// The real HKEY_CLASSES_ROOT; the path only names it.
RegistryHive::RegistryHive(std::string path, std::chrono::milliseconds lockWait)
    : path_(std::move(path)), lockWait_(lockWait) {}

RegistryHive::~RegistryHive() = default;

RegStatus RegistryHive::Begin() {
    auto open = std::make_unique<RegOpenState>();
    // Global: one lock for every session, a service's and each desktop's.
    const std::wstring name = L"Global\\IISTolvane.Registry." + ToWide(path_);
    open->mutex = CreateMutexExW(nullptr, name.c_str(), 0, SYNCHRONIZE | MUTEX_MODIFY_STATE);
    if (open->mutex == nullptr) {
        // Made by an account whose lock this one may not take (an administrator's, for a
        // standard user): reads go ahead, as they may not change anything.
        open->lockError = static_cast<LSTATUS>(GetLastError());
        open->lockProblem = "cannot take the lock of " + path_ + ": " + ErrorText(open->lockError);
    } else {
        const DWORD waited =
            WaitForSingleObject(open->mutex, static_cast<DWORD>(lockWait_.count()));
        // An abandoned lock is ours now: its holder ended between two of its writes.
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
            Fail(path_ + " is held by another process; waited " +
                 std::to_string(lockWait_.count() / 1000) + " s for it");
            return RegStatus::Failed;
        }
        open->held = true;
    }
    open_ = std::move(open);
    return RegStatus::Success;
}

RegStatus RegistryHive::Commit() {
    open_.reset();
    return RegStatus::Success;
}

// A change without the lock could be lost to another writer's: it is refused.
RegStatus RegistryHive::Writable(const std::string& path) {
    if (!open_) {
        return RegStatus::InvalidHandle;
    }
    if (!open_->held) {
        Fail(open_->lockProblem);
        return Status(open_->lockError);
    }
    HeldKey open(path, KEY_SET_VALUE | KEY_CREATE_SUB_KEY);
    if (open.Status() != ERROR_SUCCESS) {
        Fail("cannot write " + kRootName + "\\" + path + ": " + ErrorText(open.Status()));
    }
    return Status(open.Status());
}

RegStatus RegistryHive::OpenKey(const std::string& path) {
    HeldKey open(path, KEY_READ);
    return open.Status() == ERROR_FILE_NOT_FOUND ? RegStatus::NotFound : Status(open.Status());
}

std::string RegistryHive::Where(const std::string& key) const {
    const std::wstring classes = L"Software\\Classes\\" + ToWide(key);
    const std::string whole = kRootName + "\\" + key;
    if (KeyExists(HKEY_CURRENT_USER, classes)) {
        return whole + " (this user's own: HKEY_CURRENT_USER\\Software\\Classes\\" + key + ")";
    }
    const std::string machine = "HKEY_LOCAL_MACHINE\\Software\\Classes\\" + key;
    if (KeyExists(HKEY_LOCAL_MACHINE, classes)) {
        return whole + " (kept in " + machine + ")";
    }
    return whole + " (not there yet; made by a program run as administrator it is kept in " +
           machine + ")";
}

RegistryHive::Choice RegistryHive::ClassesRoot() {
    return {"HKEY_CLASSES_ROOT", {}};
}

RegistryHive::Choice RegistryHive::ClassesRoot(bool) {
    return ClassesRoot();
}

std::string RegistryHive::ChangeStamp(const std::string& key) const {
    HeldKey open(key, KEY_QUERY_VALUE);
    FILETIME written{};
    if (open.Status() != ERROR_SUCCESS) {
        return "none " + std::to_string(open.Status());
    }
    const LSTATUS status = RegQueryInfoKeyW(open.Get(), nullptr, nullptr, nullptr, nullptr,
                                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                            &written);
    if (status != ERROR_SUCCESS) {
        return "failed " + std::to_string(status);
    }
    return std::to_string(written.dwHighDateTime) + ":" + std::to_string(written.dwLowDateTime);
}

RegStatus RegistryHive::CreateKey(const std::string& path) {
    if (!open_ || !open_->held) {
        return Writable(path);
    }
    HKEY key = nullptr;
    const LSTATUS status = RegCreateKeyExW(kClassesRoot, ToWide(path).c_str(), 0, nullptr, 0,
                                           KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        RegCloseKey(key);
    } else {
        Fail("cannot open " + kRootName + "\\" + path + " for writing: " + ErrorText(status));
    }
    return Status(status);
}

// Texts are stored as UTF-16 and handed out as CP932 bytes, with the type and the length an
// ANSI read on a Japanese system reports: the converted bytes with their terminator.
RegStatus RegistryHive::ReadValue(const std::string& key, const std::string& name,
                                  RegValue& value) {
    HeldKey open(key, KEY_READ);
    if (open.Status() != ERROR_SUCCESS) {
        return KeyStatus(open.Status());
    }
    const std::wstring wideName = ToWide(name);
    DWORD storedType = 0;
    DWORD storedSize = 0;
    LSTATUS status =
        RegQueryValueExW(open.Get(), wideName.c_str(), nullptr, &storedType, nullptr, &storedSize);
    std::vector<std::uint8_t> stored(storedSize);
    if (status == ERROR_SUCCESS && storedSize > 0) {
        status = RegQueryValueExW(open.Get(), wideName.c_str(), nullptr, &storedType, stored.data(),
                                  &storedSize);
        stored.resize(storedSize);
    }
    if (status != ERROR_SUCCESS) {
        return Status(status);
    }
    std::string bytes(stored.begin(), stored.end());
    if (IsText(storedType)) {
        std::wstring text(stored.size() / 2, L'\0');
        std::memcpy(text.data(), stored.data(), text.size() * 2);
        bytes = FromWide(text);
    }
    value = RegValue{name, storedType, std::move(bytes)};
    return RegStatus::Success;
}

RegStatus RegistryHive::SetValue(const std::string& key, const std::string& name,
                                 std::uint32_t type, const std::uint8_t* data, std::uint32_t size) {
    if (!open_ || !open_->held) {
        return Writable(key);
    }
    HeldKey open(key, KEY_WRITE);
    if (open.Status() != ERROR_SUCCESS) {
        return KeyStatus(open.Status());
    }
    std::string bytes(reinterpret_cast<const char*>(data), data != nullptr ? size : 0);
    if (IsText(type)) {
        const std::wstring text = ToWide(bytes);
        bytes.assign(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    }
    const LSTATUS status = RegSetValueExW(open.Get(), ToWide(name).c_str(), 0, type,
                                          reinterpret_cast<const BYTE*>(bytes.data()),
                                          static_cast<DWORD>(bytes.size()));
    if (status != ERROR_SUCCESS) {
        Fail("cannot write " + kRootName + "\\" + key + "\\" + name + ": " + ErrorText(status));
    }
    return Status(status);
}

}  // namespace tolvane
