// The SMTP password on the real registry of the test prefix: sealed with DPAPI, kept under a
// key of HKEY_LOCAL_MACHINE whose DACL is read back with the system's own calls, refused when
// that DACL lets anyone else read it; and tolvanectl storing it from standard input.
#include <gtest/gtest.h>
// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on

#include <string>
#include <vector>

#include "os/ProtectedSecret.h"
#include "settings/SmtpPassword.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/Win32TestSupport.h"

namespace tolvane {
namespace {

const wchar_t kKey[] = L"SOFTWARE\\IIS Tolvane\\Secret";
const wchar_t kKeyObject[] = L"MACHINE\\SOFTWARE\\IIS Tolvane\\Secret";

void DeleteSecretKey() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\IIS Tolvane");
}

// The value as stored, or empty with type REG_NONE when it cannot be read.
std::vector<BYTE> RawValue(DWORD& type) {
    type = REG_NONE;
    DWORD size = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kKey, L"SmtpPassword", RRF_RT_ANY, &type, nullptr,
                     &size) != ERROR_SUCCESS) {
        return {};
    }
    std::vector<BYTE> data(size);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kKey, L"SmtpPassword", RRF_RT_ANY, &type, data.data(),
                     &size) != ERROR_SUCCESS) {
        type = REG_NONE;
        return {};
    }
    data.resize(size);
    return data;
}

bool SetKeyDacl(const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        return false;
    }
    PACL dacl = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    const DWORD status =
        SetNamedSecurityInfoW(const_cast<wchar_t*>(kKeyObject), SE_REGISTRY_KEY,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, dacl, nullptr);
    LocalFree(descriptor);
    return status == ERROR_SUCCESS;
}

class SecretTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteSecretKey(); }
    void TearDown() override { DeleteSecretKey(); }

    const std::string place = SmtpPasswordPlace();
};

TEST_F(SecretTest, KeptUnderTheMachineKeyNotBesideTheSettings) {
    EXPECT_EQ(place, "HKEY_LOCAL_MACHINE\\SOFTWARE\\IIS Tolvane\\Secret\\SmtpPassword");
}

TEST_F(SecretTest, RoundTripsSealedWithDpapi) {
    EXPECT_EQ(ReadSmtpPassword().outcome, StoredSecret::Outcome::Missing);
    const std::string password = "p\xC3\xA4ssw0rd \\ with spaces";
    std::string reason;
    ASSERT_TRUE(StoreSmtpPassword(password, reason)) << reason;
    const StoredSecret read = ReadSmtpPassword();
    EXPECT_EQ(read.outcome, StoredSecret::Outcome::Found) << read.reason;
    EXPECT_EQ(read.value, password);

    DWORD type = REG_NONE;
    const std::vector<BYTE> raw = RawValue(type);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    const std::string bytes(raw.begin(), raw.end());
    EXPECT_GT(bytes.size(), password.size());
    EXPECT_EQ(bytes.find("w0rd"), std::string::npos);
    EXPECT_EQ(bytes.find(std::string("w\0"
                                     "0\0"
                                     "r\0"
                                     "d",
                                     7)),
              std::string::npos);

    ASSERT_TRUE(StoreSmtpPassword("", reason)) << reason;
    EXPECT_EQ(ReadSmtpPassword().outcome, StoredSecret::Outcome::Missing);
    RawValue(type);
    EXPECT_EQ(type, static_cast<DWORD>(REG_NONE));
}

// The DACL as the system gives it back: protected (nothing inherited from SOFTWARE, which every
// user may read), and only Administrators and SYSTEM, both with full access.
TEST_F(SecretTest, TheKeyGrantsAdministratorsAndSystemAlone) {
    std::string reason;
    ASSERT_TRUE(StoreSmtpPassword("secret", reason)) << reason;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoW(kKeyObject, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, &dacl, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_NE(control & SE_DACL_PROTECTED, 0);
    ASSERT_NE(dacl, nullptr);
    bool administrators = false;
    bool system = false;
    for (WORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, &entry));
        const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->Header.AceFlags & INHERITED_ACE, 0);
        PSID sid = const_cast<DWORD*>(&ace->SidStart);
        const bool isAdministrators = IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
        const bool isSystem = IsWellKnownSid(sid, WinLocalSystemSid);
        EXPECT_TRUE(isAdministrators || isSystem) << "entry " << i;
        EXPECT_EQ(ace->Mask & KEY_ALL_ACCESS, static_cast<ACCESS_MASK>(KEY_ALL_ACCESS));
        administrators = administrators || isAdministrators;
        system = system || isSystem;
    }
    LocalFree(descriptor);
    EXPECT_TRUE(administrators);
    EXPECT_TRUE(system);
}

// A key that lets another account read the value is refused, naming that account; storing the
// password again makes it the key of Administrators and SYSTEM once more.
TEST_F(SecretTest, AKeyOthersMayReadIsRefused) {
    std::string reason;
    ASSERT_TRUE(StoreSmtpPassword("secret", reason)) << reason;
    const std::string rule =
        "; only Administrators and SYSTEM may read it (store the password again to restore "
        "that)";
    const struct {
        const wchar_t* sddl;
        std::string problem;
    } cases[] = {
        {L"D:P(A;;KA;;;BA)(A;;KA;;;SY)(A;;KR;;;BU)", "S-1-5-32-545 may read it"},
        {L"D:P(A;;KA;;;BA)(A;;KA;;;SY)(A;;0x1;;;WD)", "S-1-1-0 may read it"},
        {L"D:P(A;;KA;;;SY)(A;;KA;;;BA)(A;;WD;;;AU)", "S-1-5-11 may read it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.problem);
        ASSERT_TRUE(SetKeyDacl(c.sddl));
        const StoredSecret read = ReadSmtpPassword();
        EXPECT_EQ(read.outcome, StoredSecret::Outcome::Refused);
        EXPECT_EQ(read.value, "");
        EXPECT_EQ(read.reason,
                  "the key HKEY_LOCAL_MACHINE\\SOFTWARE\\IIS Tolvane\\Secret is "
                  "refused: " +
                      c.problem + rule);
        ASSERT_TRUE(StoreSmtpPassword("again", reason)) << reason;
        EXPECT_EQ(ReadSmtpPassword().value, "again");
    }
}

// An account the key does not let in (on Windows, one that is not elevated) is told to run as
// administrator, both reading and storing. Wine runs every program as an administrator, so the
// key here shuts out the administrators it lets change its DACL back.
TEST_F(SecretTest, AnAccountTheKeyShutsOutIsToldToRunAsAdministrator) {
    std::string reason;
    ASSERT_TRUE(StoreSmtpPassword("secret", reason)) << reason;
    ASSERT_TRUE(SetKeyDacl(L"D:P(A;;KA;;;SY)(A;;RCWD;;;BA)"));
    const StoredSecret read = ReadSmtpPassword();
    EXPECT_EQ(read.outcome, StoredSecret::Outcome::Refused);
    EXPECT_EQ(read.reason, "cannot read HKEY_LOCAL_MACHINE\\SOFTWARE\\IIS Tolvane\\Secret: "
                           "access denied (error 5); run as administrator");
    EXPECT_FALSE(StoreSmtpPassword("other", reason));
    EXPECT_EQ(reason, "cannot write HKEY_LOCAL_MACHINE\\SOFTWARE\\IIS Tolvane\\Secret: access "
                      "denied (error 5); run as administrator");
    ASSERT_TRUE(SetKeyDacl(L"D:P(A;;KA;;;SY)(A;;KA;;;BA)"));
    EXPECT_EQ(ReadSmtpPassword().value, "secret");
}

TEST_F(SecretTest, TolvanectlTakesThePasswordFromStandardInput) {
    test::TempDir dir;
    const std::string tolvanectl =
        test::WindowsPath(std::string(TOLVANE_BIN_DIR) + "/tolvanectl.exe");
    const std::string input = dir.File("in.txt");
    test::WriteFile(input, "from-stdin-9\r\n");
    const std::string out = dir.File("out.txt");
    ASSERT_EQ(
        test::RunToFile(tolvanectl + " set SmtpPassword=- < " + test::WindowsPath(input), out), 0)
        << test::ReadFile(out);
    EXPECT_EQ(ReadSmtpPassword().value, "from-stdin-9");
    ASSERT_EQ(test::RunToFile(tolvanectl + " settings", out), 0);
    const std::string printed = test::ReadFile(out);
    EXPECT_NE(printed.find("\r\nSmtpPassword=(set)\r\n"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("from-stdin"), std::string::npos) << printed;

    EXPECT_EQ(test::RunToFile(tolvanectl + " set SmtpPassword=hunter2", out), 2);
    EXPECT_EQ(ReadSmtpPassword().value, "from-stdin-9");
    ASSERT_EQ(test::RunToFile(tolvanectl + " set SmtpPassword=", out), 0);
    ASSERT_EQ(test::RunToFile(tolvanectl + " settings", out), 0);
    EXPECT_NE(test::ReadFile(out).find("\r\nSmtpPassword=\r\n"), std::string::npos);
}

}  // namespace
}  // namespace tolvane
