#include "registry/Registry.h"

#include <utility>

namespace tolvane {

// One transaction on a hive, shared by the keys opened in it; the last of them to go ends it.
class RegTransaction {
public:
    explicit RegTransaction(RegistryHive& hive) : hive_(hive) {}
    RegTransaction(const RegTransaction&) = delete;
    RegTransaction& operator=(const RegTransaction&) = delete;
    ~RegTransaction() {
        if (!done_) {
            Commit();
        }
    }

    bool Done() const { return done_; }
    // A change that failed fails the whole transaction.
    long Note(long status) {
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND &&
            status != ERROR_MORE_DATA && failure_ == ERROR_SUCCESS) {
            failure_ = status;
        }
        return status;
    }
    long Commit() {
        done_ = true;
        const long written = hive_.Commit();
        return failure_ != ERROR_SUCCESS ? failure_ : written;
    }

private:
    RegistryHive& hive_;
    bool done_ = false;
    long failure_ = ERROR_SUCCESS;
};

std::vector<std::string> RegistryHive::TakeNotes() {
    return std::exchange(notes_, {});
}

void RegistryHive::Note(std::string note) {
    // A long-running program may never take the notes: only the latest are kept.
    if (notes_.size() >= 16) {
        notes_.erase(notes_.begin());
    }
    notes_.push_back(std::move(note));
}

std::shared_ptr<RegTransaction> RegistryHive::Join(long& status) {
    status = ERROR_SUCCESS;
    if (auto open = transaction_.lock(); open && !open->Done()) {
        return open;
    }
    status = Begin();
    if (status != ERROR_SUCCESS) {
        return nullptr;
    }
    auto transaction = std::make_shared<RegTransaction>(*this);
    transaction_ = transaction;
    return transaction;
}

HKEY RootKey(RegistryHive& hive) {
    return HKEY{&hive, nullptr, std::string()};
}

namespace {

// Whether the handle is open: the null handle and a key of an ended transaction are not.
bool IsOpen(const HKEY& key) {
    return key && key.transaction && !key.transaction->Done();
}

}  // namespace

long RegCreateKeyEx(const HKEY& parent, const std::string& subkey, HKEY& result) {
    result = HKEY{};
    if (!parent || subkey.empty() || (parent.transaction && !IsOpen(parent))) {
        return ERROR_INVALID_HANDLE;
    }
    long status = ERROR_SUCCESS;
    auto transaction = parent.transaction ? parent.transaction : parent.hive->Join(status);
    if (!transaction) {
        return status;
    }
    const std::string path = parent.path.empty() ? subkey : parent.path + "\\" + subkey;
    status = transaction->Note(parent.hive->CreateKey(path));
    if (status == ERROR_SUCCESS) {
        result = HKEY{parent.hive, std::move(transaction), path};
    }
    return status;
}

long RegQueryValueEx(const HKEY& key, const std::string& name, std::uint32_t* type,
                     std::uint8_t* data, std::uint32_t* size) {
    if (!IsOpen(key)) {
        return ERROR_INVALID_HANDLE;
    }
    return key.hive->QueryValue(key.path, name, type, data, size);
}

long RegSetValueEx(const HKEY& key, const std::string& name, std::uint32_t type,
                   const std::uint8_t* data, std::uint32_t size) {
    if (!IsOpen(key)) {
        return ERROR_INVALID_HANDLE;
    }
    return key.transaction->Note(key.hive->SetValue(key.path, name, type, data, size));
}

long RegCloseKey(HKEY& key) {
    if (!key) {
        return ERROR_INVALID_HANDLE;
    }
    long status = ERROR_SUCCESS;
    if (IsOpen(key) && key.transaction.use_count() == 1) {
        status = key.transaction->Commit();
    }
    key = HKEY{};
    return status;
}

}  // namespace tolvane
