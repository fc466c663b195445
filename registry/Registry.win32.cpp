#include "registry/Registry.h"

// After our own names: windows.h defines REG_SZ and the error codes as macros of equal value.
#include <windows.h>

#include <cstring>
#include <vector>

#include "os/Win32Text.h"

namespace {

// Spelt out here: the macro names the type HKEY, which inside our namespace is our own.
const ::HKEY kClassesRoot = HKEY_CLASSES_ROOT;

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
    ::HKEY Get() const { return key_; }

private:
    ::HKEY key_ = nullptr;
    LSTATUS status_;
};

bool IsText(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

}  // namespace

namespace tolvane {

// Nothing is held open between the calls: each value is written at once.
struct RegOpenState {};

// The real HKEY_CLASSES_ROOT; the path only names it.
RegistryHive::RegistryHive(std::string path, std::chrono::milliseconds lockWait)
    : path_(std::move(path)), lockWait_(lockWait) {}

RegistryHive::~RegistryHive() = default;

long RegistryHive::Begin() {
    return ERROR_SUCCESS;
}

long RegistryHive::Commit() {
    return ERROR_SUCCESS;
}

std::string RegistryHive::ClassesRootPath() {
    return "HKEY_CLASSES_ROOT";
}

long RegistryHive::CreateKey(const std::string& path) {
    ::HKEY key = nullptr;
    const LSTATUS status = RegCreateKeyExW(kClassesRoot, ToWide(path).c_str(), 0, nullptr, 0,
                                           KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        RegCloseKey(key);
    } else {
        Fail("cannot open HKEY_CLASSES_ROOT\\" + path + ": error " + std::to_string(status));
    }
    return status;
}

// Texts are stored as UTF-16 and handed out as CP932 bytes, with the type and the length an
// ANSI read on a Japanese system reports: the converted bytes with their terminator.
long RegistryHive::QueryValue(const std::string& key, const std::string& name, std::uint32_t* type,
                              std::uint8_t* data, std::uint32_t* size) {
    OpenKey open(key, KEY_READ);
    if (open.Status() != ERROR_SUCCESS) {
        return open.Status() == ERROR_FILE_NOT_FOUND ? ERROR_INVALID_HANDLE : open.Status();
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
        return status;
    }
    std::string bytes(stored.begin(), stored.end());
    if (IsText(storedType)) {
        std::wstring text(stored.size() / 2, L'\0');
        std::memcpy(text.data(), stored.data(), text.size() * 2);
        bytes = FromWide(text);
    }
    if (type != nullptr) {
        *type = storedType;
    }
    const auto length = static_cast<std::uint32_t>(bytes.size());
    if (data != nullptr) {
        if (size == nullptr || *size < length) {
            if (size != nullptr) {
                *size = length;
            }
            return ERROR_MORE_DATA;
        }
        std::memcpy(data, bytes.data(), length);
    }
    if (size != nullptr) {
        *size = length;
    }
    return ERROR_SUCCESS;
}

long RegistryHive::SetValue(const std::string& key, const std::string& name, std::uint32_t type,
                            const std::uint8_t* data, std::uint32_t size) {
    OpenKey open(key, KEY_WRITE);
    if (open.Status() != ERROR_SUCCESS) {
        return open.Status() == ERROR_FILE_NOT_FOUND ? ERROR_INVALID_HANDLE : open.Status();
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
    return status;
}

}  // namespace tolvane
