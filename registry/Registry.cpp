#include "registry/Registry.h"

#include <cstring>
#include <iterator>
#include <utility>

#include "registry/RegHiveData.h"

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
    RegStatus Note(RegStatus status) {
        if (status != RegStatus::Success && status != RegStatus::NotFound &&
            status != RegStatus::MoreData && failure_ == RegStatus::Success) {
            failure_ = status;
        }
        return status;
    }
    RegStatus Commit() {
        done_ = true;
        const RegStatus written = hive_.Commit();
        return failure_ != RegStatus::Success ? failure_ : written;
    }

private:
    RegistryHive& hive_;
    bool done_ = false;
    RegStatus failure_ = RegStatus::Success;
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

std::shared_ptr<RegTransaction> RegistryHive::Join(RegStatus& status) {
    status = RegStatus::Success;
    if (auto open = transaction_.lock(); open && !open->Done()) {
        return open;
    }
    status = Begin();
    if (status != RegStatus::Success) {
        return nullptr;
    }
    auto transaction = std::make_shared<RegTransaction>(*this);
    transaction_ = transaction;
    return transaction;
}

RegKey RootKey(RegistryHive& hive) {
    return RegKey{&hive, nullptr, std::string()};
}

RegStatus OpenRoot(RegistryHive& hive, RegKey& result) {
    RegStatus status = RegStatus::Success;
    auto transaction = hive.Join(status);
    result = transaction ? RegKey{&hive, std::move(transaction), std::string()} : RegKey{};
    return status;
}

std::string RegTypeName(std::uint32_t type) {
    static const char* const kNames[] = {"REG_NONE",
                                         "REG_SZ",
                                         "REG_EXPAND_SZ",
                                         "REG_BINARY",
                                         "REG_DWORD",
                                         "REG_DWORD_BIG_ENDIAN",
                                         "REG_LINK",
                                         "REG_MULTI_SZ",
                                         "REG_RESOURCE_LIST",
                                         "REG_FULL_RESOURCE_DESCRIPTOR",
                                         "REG_RESOURCE_REQUIREMENTS_LIST",
                                         "REG_QWORD"};
    return type < std::size(kNames) ? kNames[type] : "type " + std::to_string(type);
}

namespace {

// Whether the handle is open: the null handle and a key of an ended transaction are not.
bool IsOpen(const RegKey& key) {
    return key && key.transaction && !key.transaction->Done();
}

// A key below the parent, opened by `open` in the parent's transaction (or a new one).
template <typename Open>
RegStatus OpenBelow(const RegKey& parent, const std::string& subkey, RegKey& result, Open open) {
    result = RegKey{};
    if (!parent || subkey.empty() || (parent.transaction && !IsOpen(parent))) {
        return RegStatus::InvalidHandle;
    }
    RegStatus status = RegStatus::Success;
    auto transaction = parent.transaction ? parent.transaction : parent.hive->Join(status);
    if (!transaction) {
        return status;
    }
    const std::string path = parent.path.empty() ? subkey : parent.path + "\\" + subkey;
    status = open(*transaction, path);
    if (status == RegStatus::Success) {
        result = RegKey{parent.hive, std::move(transaction), path};
    }
    return status;
}

}  // namespace

RegStatus CreateKey(const RegKey& parent, const std::string& subkey, RegKey& result) {
    return OpenBelow(parent, subkey, result,
                     [&parent](RegTransaction& transaction, const std::string& path) {
                         return transaction.Note(parent.hive->CreateKey(path));
                     });
}

RegStatus OpenKey(const RegKey& parent, const std::string& subkey, RegKey& result) {
    // A read that fails is no failed change: the transaction does not note it.
    return OpenBelow(parent, subkey, result, [&parent](RegTransaction&, const std::string& path) {
        return parent.hive->OpenKey(path);
    });
}

RegStatus CheckWritable(const RegKey& key) {
    return IsOpen(key) ? key.hive->Writable(key.path) : RegStatus::InvalidHandle;
}

RegStatus QueryValue(const RegKey& key, const std::string& name, std::uint32_t* type,
                     std::uint8_t* data, std::uint32_t* size) {
    if (!IsOpen(key)) {
        return RegStatus::InvalidHandle;
    }
    RegValue value;
    const RegStatus status = key.hive->ReadValue(key.path, name, value);
    if (status != RegStatus::Success) {
        return status;
    }
    if (type != nullptr) {
        *type = value.type;
    }
    // A read into a buffer too small for the data fails and tells the size it needs.
    const auto length = static_cast<std::uint32_t>(value.data.size());
    if (data != nullptr) {
        if (size == nullptr || *size < length) {
            if (size != nullptr) {
                *size = length;
            }
            return RegStatus::MoreData;
        }
        std::memcpy(data, value.data.data(), length);
    }
    if (size != nullptr) {
        *size = length;
    }
    return RegStatus::Success;
}

RegStatus SetValue(const RegKey& key, const std::string& name, std::uint32_t type,
                   const std::uint8_t* data, std::uint32_t size) {
    if (!IsOpen(key)) {
        return RegStatus::InvalidHandle;
    }
    return key.transaction->Note(key.hive->SetValue(key.path, name, type, data, size));
}

RegStatus CloseKey(RegKey& key) {
    if (!key) {
        return RegStatus::InvalidHandle;
    }
    RegStatus status = RegStatus::Success;
    if (IsOpen(key) && key.transaction.use_count() == 1) {
        status = key.transaction->Commit();
    }
    key = RegKey{};
    return status;
}

}  // namespace tolvane
