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
class OpenKey {
public:
    OpenKey(const std::string& path, REGSAM access) {
        status_ = RegOpenKeyExW(kClassesRoot, tolvane::ToWide(path).c_str(), 0, access, &key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    ~OpenKey() {
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

// A key that is not there is no open key to the callers, as with the file-backed hive.
tolvane::RegStatus KeyStatus(LSTATUS status) {
    return status == ERROR_FILE_NOT_FOUND ? tolvane::RegStatus::InvalidHandle : Status(status);
}

}  // namespace

namespace tolvane {

// Nothing is held open between the calls: each value is written at once.
struct RegOpenState {};

// The real HKEY_CLASSES_ROOT; the path only names it.
RegistryHive::RegistryHive(std::string path, std::chrono::milliseconds lockWait)
    : path_(std::move(path)), lockWait_(lockWait) {}

RegistryHive::~RegistryHive() = default;

RegStatus RegistryHive::Begin() {
    return RegStatus::Success;
}

RegStatus RegistryHive::Commit() {
    return RegStatus::Success;
}

std::string RegistryHive::ClassesRootPath() {
    return "HKEY_CLASSES_ROOT";
}

RegStatus RegistryHive::CreateKey(const std::string& path) {
    HKEY key = nullptr;
    const LSTATUS status = RegCreateKeyExW(kClassesRoot, ToWide(path).c_str(), 0, nullptr, 0,
                                           KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        RegCloseKey(key);
    } else {
        Fail("cannot open HKEY_CLASSES_ROOT\\" + path + ": error " + std::to_string(status));
    }
    return Status(status);
}

// Texts are stored as UTF-16 and handed out as CP932 bytes, with the type and the length an
// ANSI read on a Japanese system reports: the converted bytes with their terminator.
RegStatus RegistryHive::ReadValue(const std::string& key, const std::string& name,
                                  RegValue& value) {
    OpenKey open(key, KEY_READ);
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
    OpenKey open(key, KEY_WRITE);
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
        Fail("cannot write HKEY_CLASSES_ROOT\\" + key + "\\" + name + ": error " +
             std::to_string(status));
    }
    return Status(status);
}

}  // namespace tolvane
