#include "os/ScriptMailObject.h"
#include "os/ScriptMailObject.win32.h"

#include <windows.h>
// After windows.h.
#include <aclapi.h>
#include <knownfolders.h>
#include <sddl.h>
#include <shlobj.h>

#include <vector>

#include "os/Win32Text.h"

namespace tolvane {

namespace {

// SYSTEM and Administrators may do anything, Users may read and run; nothing is inherited
// from ProgramData, where every user may add files.
constexpr wchar_t kFolderAcl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

constexpr DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                               FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC |
                               WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    return IsWellKnownSid(sid, type) != FALSE;
}

// SYSTEM, Administrators, TrustedInstaller, or the account this program runs as.
class TrustedAccounts {
public:
    TrustedAccounts() {
        HANDLE token = nullptr;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
            DWORD size = 0;
            GetTokenInformation(token, TokenUser, nullptr, 0, &size);
            user_.resize(size);
            if (size == 0 || !GetTokenInformation(token, TokenUser, user_.data(), size, &size)) {
                user_.clear();
            }
            CloseHandle(token);
        }
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        AllocateAndInitializeSid(&nt, 6, 80, 956008885, 3418522649, 1831038044, 1853292631,
                                 2271478464, 0, 0, &installer_);
    }
    ~TrustedAccounts() {
        if (installer_ != nullptr) {
            FreeSid(installer_);
        }
    }
    TrustedAccounts(const TrustedAccounts&) = delete;
    TrustedAccounts& operator=(const TrustedAccounts&) = delete;

    bool Trusts(PSID sid) const {
        if (sid == nullptr || !IsValidSid(sid)) {
            return false;
        }
        if (IsWellKnown(sid, WinLocalSystemSid) || IsWellKnown(sid, WinBuiltinAdministratorsSid)) {
            return true;
        }
        if (installer_ != nullptr && EqualSid(sid, installer_)) {
            return true;
        }
        return !user_.empty() &&
               EqualSid(sid, reinterpret_cast<const TOKEN_USER*>(user_.data())->User.Sid);
    }

private:
    std::vector<char> user_;
    PSID installer_ = nullptr;
};

bool OnlyTrustedWrite(PSID owner, PACL acl) {
    const TrustedAccounts accounts;
    // No access list at all lets everyone in.
    if (acl == nullptr || !accounts.Trusts(owner)) {
        return false;
    }
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(acl, i, reinterpret_cast<void**>(&header))) {
            return false;
        }
        if (header->AceType == ACCESS_DENIED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0) {
            continue;  // denies, or speaks only of what is made inside
        }
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            return false;  // a kind this check does not read
        }
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        if ((ace->Mask & kWriteRights) != 0 &&
            !accounts.Trusts(reinterpret_cast<PSID>(&ace->SidStart))) {
            return false;
        }
    }
    return true;
}

// A real folder (no link or junction to elsewhere) whose security lets only trusted accounts
// write, add, delete or change it.
bool IsTrustedFolder(const std::wstring& path) {
    HANDLE folder = CreateFileW(path.c_str(), READ_CONTROL,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    PSID owner = nullptr;
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const bool read =
        GetFileInformationByHandle(folder, &information) &&
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
        GetSecurityInfo(folder, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &acl, nullptr, &descriptor) == ERROR_SUCCESS;
    CloseHandle(folder);
    const bool trusted = read && OnlyTrustedWrite(owner, acl);
    if (descriptor != nullptr) {
        LocalFree(descriptor);
    }
    return trusted;
}

}  // namespace

bool OnlyTrustedMayWrite(void* securityDescriptor) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PSID owner = nullptr;
    PACL acl = nullptr;
    if (!GetSecurityDescriptorOwner(securityDescriptor, &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(securityDescriptor, &present, &acl, &defaulted)) {
        return false;
    }
    return OnlyTrustedWrite(owner, present ? acl : nullptr);
}

bool ScriptMailObjectRegistered() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CDONTS.NewMail", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool ScriptFolder(std::string& folder) {
    // From the system's own record, not from an environment a user may have set.
    PWSTR programData = nullptr;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_ProgramData, KF_FLAG_DONT_VERIFY, nullptr,
                                    &programData))) {
        return false;
    }
    const std::wstring path = std::wstring(programData) + L"\\IIS Tolvane";
    CoTaskMemFree(programData);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kFolderAcl, SDDL_REVISION_1,
                                                             &descriptor, nullptr)) {
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
        CreateDirectoryW(path.c_str(), &attributes);
        LocalFree(descriptor);
    }
    if (!IsTrustedFolder(path)) {
        return false;
    }
    folder = PathFromWide(path + L"\\");
    return true;
}

}  // namespace tolvane
