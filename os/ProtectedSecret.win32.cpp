#include "os/ProtectedSecret.h"

// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <dpapi.h>
#include <sddl.h>
// clang-format on

#include <vector>

#include "os/Win32Text.h"

namespace tolvane {

namespace {

const std::string kKeyName = "HKEY_LOCAL_MACHINE\\SOFTWARE\\IIS Tolvane\\Secret";
const wchar_t kKey[] = L"SOFTWARE\\IIS Tolvane\\Secret";
// Administrators and SYSTEM alone, nothing inherited from SOFTWARE (which lets every user read).
const wchar_t kOwnDacl[] = L"D:P(A;OICI;KA;;;BA)(A;OICI;KA;;;SY)";
// What lets an account read the value, or give itself the right to.
constexpr ACCESS_MASK kReadingRights =
    KEY_QUERY_VALUE | GENERIC_READ | GENERIC_ALL | WRITE_DAC | WRITE_OWNER | MAXIMUM_ALLOWED;

std::string ErrorText(DWORD error) {
    const std::string number = "error " + std::to_string(error);
    return error == ERROR_ACCESS_DENIED ? "access denied (" + number + "); run as administrator"
                                        : number;
}

// The value's name: the place's last part.
std::wstring ValueName(const std::string& place) {
    return ToWide(place.substr(place.rfind('\\') + 1));
}

class Key {
public:
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    HKEY* put() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// Whether the account of the SID is one the secret may be readable by.
bool IsTrusted(PSID sid) {
    return IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
           IsWellKnownSid(sid, WinLocalSystemSid);
}

std::string SidText(PSID sid) {
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) {
        return "an unknown account";
    }
    std::string result = FromWide(text);
    LocalFree(text);
    return result;
}

// Who else than Administrators and SYSTEM may read the key's values; empty when nobody.
std::string OtherReader(HKEY key) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status = GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr,
                                         nullptr, &dacl, nullptr, &descriptor);
    if (status != ERROR_SUCCESS) {
        return "its permissions cannot be read (" + ErrorText(status) + ")";
    }
    std::string reader;
    if (dacl == nullptr) {
        reader = "it has no DACL, so everyone may read it";
    }
    for (WORD i = 0; dacl != nullptr && i < dacl->AceCount && reader.empty(); ++i) {
        void* entry = nullptr;
        if (!GetAce(dacl, i, &entry)) {
            continue;
        }
        const auto* header = static_cast<ACE_HEADER*>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            // Only allowing entries can widen who reads; the other kinds of allowing entry are
            // not made by anything that would make this key.
            if (header->AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE ||
                header->AceType == ACCESS_ALLOWED_OBJECT_ACE_TYPE) {
                reader = "it has an allowing entry of a kind that is not checked";
            }
            continue;
        }
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if ((allowed->Mask & kReadingRights) != 0 && !IsTrusted(sid)) {
            reader = SidText(sid) + " may read it";
        }
    }
    LocalFree(descriptor);
    return reader;
}

std::string Refusal(const std::string& problem) {
    return "the key " + kKeyName + " is refused: " + problem +
           "; only Administrators and SYSTEM may read it (store the password again to "
           "restore that)";
}

}  // namespace

std::string SecretPlace(const std::string&, const std::string& name) {
    return kKeyName + "\\" + name;
}

StoredSecret ReadSecret(const std::string& place) {
    StoredSecret secret;
    Key key;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0,
                                   KEY_QUERY_VALUE | READ_CONTROL | KEY_WOW64_64KEY, key.put());
    if (status == ERROR_FILE_NOT_FOUND) {
        return secret;
    }
    secret.outcome = StoredSecret::Outcome::Refused;
    if (status != ERROR_SUCCESS) {
        secret.reason = "cannot read " + kKeyName + ": " + ErrorText(status);
        return secret;
    }
    if (const std::string reader = OtherReader(key.get()); !reader.empty()) {
        secret.reason = Refusal(reader);
        return secret;
    }
    const std::wstring name = ValueName(place);
    DWORD type = REG_NONE;
    DWORD size = 0;
    status = RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) {
        secret.outcome = StoredSecret::Outcome::Missing;
        return secret;
    }
    std::vector<BYTE> sealed(size);
    if (status == ERROR_SUCCESS) {
        status = RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, sealed.data(), &size);
    }
    if (status != ERROR_SUCCESS || type != REG_BINARY) {
        secret.reason = "cannot read " + place + ": " +
                        (status != ERROR_SUCCESS ? ErrorText(status) : "it is not REG_BINARY");
        return secret;
    }
    DATA_BLOB in{size, sealed.data()};
    DATA_BLOB out{};
    if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                            &out)) {
        secret.reason = "cannot decrypt " + place + " on this machine (" +
                        ErrorText(GetLastError()) + "); store the password again";
        return secret;
    }
    secret.value.assign(reinterpret_cast<const char*>(out.pbData), out.cbData);
    SecureZeroMemory(out.pbData, out.cbData);
    LocalFree(out.pbData);
    secret.outcome = StoredSecret::Outcome::Found;
    return secret;
}

bool StoreSecret(const std::string& place, const std::string& secret, std::string& reason) {
    const std::wstring name = ValueName(place);
    if (secret.empty()) {
        Key key;
        LSTATUS status =
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, key.put());
        if (status == ERROR_SUCCESS) {
            status = RegDeleteValueW(key.get(), name.c_str());
        }
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
            reason = "cannot remove " + place + ": " + ErrorText(status);
            return false;
        }
        return true;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kOwnDacl, SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        reason = "cannot make the permissions of " + kKeyName + ": " + ErrorText(GetLastError());
        return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    Key key;
    LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_SET_VALUE | WRITE_DAC | KEY_WOW64_64KEY, &attributes,
                                     key.put(), nullptr);
    // A key that was there already gets the same permissions, whatever it had; the
    // descriptor's own control keeps the DACL protected from what SOFTWARE passes down.
    if (status == ERROR_SUCCESS) {
        status = RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor);
    }
    LocalFree(descriptor);
    if (status != ERROR_SUCCESS) {
        reason = "cannot write " + kKeyName + ": " + ErrorText(status);
        return false;
    }
    std::vector<BYTE> plain(secret.begin(), secret.end());
    DATA_BLOB in{static_cast<DWORD>(plain.size()), plain.data()};
    DATA_BLOB out{};
    const BOOL sealed =
        CryptProtectData(&in, L"IIS Tolvane", nullptr, nullptr, nullptr,
                         CRYPTPROTECT_LOCAL_MACHINE | CRYPTPROTECT_UI_FORBIDDEN, &out);
    const DWORD sealError = GetLastError();
    SecureZeroMemory(plain.data(), plain.size());
    if (!sealed) {
        reason = "cannot encrypt the password: " + ErrorText(sealError);
        return false;
    }
    status = RegSetValueExW(key.get(), name.c_str(), 0, REG_BINARY, out.pbData, out.cbData);
    LocalFree(out.pbData);
    if (status != ERROR_SUCCESS) {
        reason = "cannot write " + place + ": " + ErrorText(status);
        return false;
    }
    return true;
}

}  // namespace tolvane
