// Which programs a restart and the script mail run: only the system folder's, by full path,
// with the system folder as current folder; standard input empty; a bound on each command.
// What a test plants in the system folder (Wine's, in the test prefix) it removes again.
#include <windows.h>
// After windows.h.
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "mail/MailTexts.h"
#include "mail/ScriptMailer.h"
#include "mail/SendNotificationMail.h"
#include "os/CommandRunner.h"
#include "os/Process.h"
#include "os/ScriptMailObject.h"
#include "os/ScriptMailObject.win32.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/Win32TestSupport.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

const char kChild[] = TOLVANE_BIN_DIR "/win32_test_child.exe";

fs::path SystemFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const UINT n = GetSystemDirectoryW(buffer, MAX_PATH + 1);
    return fs::path(std::wstring(buffer, n));
}

// Copies of the test child under the names given, removed with the fixture.
class ProgramsTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = fs::current_path();
        fs::current_path(dir_.Path());
        mark_ = dir_.File("mark.txt");
        SetEnvironmentVariableW(L"TOLVANE_TEST_MARK", fs::path(mark_).wstring().c_str());
        test::UnregisterMailObject();
    }
    void TearDown() override {
        for (const auto& planted : planted_) {
            std::error_code ignored;
            fs::remove(planted, ignored);
        }
        SetEnvironmentVariableW(L"TOLVANE_TEST_MARK", nullptr);
        test::UnregisterMailObject();
        fs::current_path(previous_);
    }

    void Plant(const fs::path& where, const std::string& contents = {}) {
        if (contents.empty()) {
            fs::copy_file(kChild, where, fs::copy_options::overwrite_existing);
        } else {
            test::WriteFile(where.string(), contents);
        }
        planted_.push_back(where);
    }

    // The lines the test child wrote, one per run.
    std::vector<std::string> Runs() const {
        std::vector<std::string> runs;
        const std::string text = test::ReadFile(mark_);
        for (std::size_t at = 0; at < text.size();) {
            const auto end = text.find('\n', at);
            runs.push_back(text.substr(at, end - at));
            at = end == std::string::npos ? text.size() : end + 1;
        }
        return runs;
    }

    test::TempDir dir_;
    std::string mark_;

private:
    fs::path previous_;
    std::vector<fs::path> planted_;
};

std::vector<std::string> Fields(const std::string& run) {
    std::vector<std::string> fields;
    for (std::size_t at = 0; at <= run.size();) {
        const auto end = run.find('|', at);
        fields.push_back(run.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos) {
            break;
        }
        at = end + 1;
    }
    return fields;
}

bool SameFolder(const std::string& a, const fs::path& b) {
    return _wcsicmp(fs::path(a).wstring().c_str(), b.wstring().c_str()) == 0;
}

// command.com beside the program and in the current folder, net and mtxstop in the current
// folder and first on PATH, CSCRIPT.EXE beside the program: none of them runs.
TEST_F(ProgramsTest, ProgramsPlantedOutsideTheSystemFolderDoNotRun) {
    const fs::path programFolder = fs::path(ExecutableDirectory());
    for (const char* name : {"command.com", "CSCRIPT.EXE", "mtxstop.exe"}) {
        Plant(programFolder / name);
    }
    for (const char* name : {"command.com", "net.exe", "mtxstop.exe", "CSCRIPT.EXE"}) {
        Plant(fs::path(dir_.Path()) / name);
    }
    Plant(fs::path(dir_.Path()) / "net.bat", "@echo planted net.bat>> \"%TOLVANE_TEST_MARK%\"\r\n");
    wchar_t path[32768];
    const DWORD n = GetEnvironmentVariableW(L"PATH", path, 32768);
    const std::wstring savedPath(path, n);
    SetEnvironmentVariableW(L"PATH", (fs::path(dir_.Path()).wstring() + L";" + savedPath).c_str());

    const CommandOutcome stop = CommandRunner::Run("command.com /C net stop w3svc /y", nullptr);
    const CommandOutcome mtxstop = CommandRunner::Run("command.com /C mtxstop", nullptr);
    test::RegisterMailObject();
    std::string reason;
    const int sent = SendNotificationMail("me@x", "to@y", "s", "b", "", 25, reason);
    SetEnvironmentVariableW(L"PATH", savedPath.c_str());

    EXPECT_EQ(stop.end, CommandEnd::Exited) << "the system's net.exe runs";
    EXPECT_EQ(mtxstop.end, CommandEnd::Skipped) << "the system folder has no mtxstop";
    EXPECT_EQ(sent, 0);
    EXPECT_EQ(Runs(), std::vector<std::string>{}) << "a planted program ran";
}

// mtxstop where an administrator put it, in the system folder, runs by its full path there,
// with the system folder as its current folder.
TEST_F(ProgramsTest, MtxstopInTheSystemFolderRunsThereWithItAsCurrentFolder) {
    Plant(SystemFolder() / "mtxstop.exe");
    const CommandOutcome outcome = CommandRunner::Run("command.com /C mtxstop", nullptr);
    EXPECT_EQ(outcome.end, CommandEnd::Exited);
    EXPECT_EQ(outcome.exitCode, 0);
    const auto runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    const auto fields = Fields(runs[0]);
    ASSERT_EQ(fields.size(), 4u) << runs[0];
    EXPECT_TRUE(SameFolder(fields[1], SystemFolder() / "mtxstop.exe")) << fields[1];
    EXPECT_TRUE(SameFolder(fields[2], SystemFolder())) << fields[2];
}

// A question on standard input (net stop msdtc's "(Y/N)") ends at once; a command still
// running at the bound is ended together with what the interpreter started.
TEST_F(ProgramsTest, AQuestionEndsAtOnceAndACommandPastItsBoundIsEnded) {
    Plant(SystemFolder() / "tolvtestchild.exe");
    const CommandOutcome asked =
        CommandRunner::Run("command.com /C tolvtestchild --read", nullptr, RealClock(), 60000);
    EXPECT_EQ(asked.end, CommandEnd::Exited) << "waited on its standard input";
    EXPECT_EQ(asked.exitCode, 0);

    const CommandOutcome stuck =
        CommandRunner::Run("command.com /C tolvtestchild --sleep", nullptr, RealClock(), 2000);
    EXPECT_EQ(stuck.end, CommandEnd::EndedAtBound);
    EXPECT_GE(stuck.durationMs, 2000u);
    const auto runs = Runs();
    ASSERT_EQ(runs.size(), 2u);
    const DWORD pid = static_cast<DWORD>(std::stoul(Fields(runs[1])[0]));
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process != nullptr) {
        EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0)
            << "the program the interpreter started runs on";
        CloseHandle(process);
    }
}

// S.VBS goes into a folder of its own under ProgramData, never into the current folder; what
// stands under that name and is no folder is refused, and the mail with it.
TEST_F(ProgramsTest, TheScriptGoesIntoAFolderOfItsOwnUnderProgramData) {
    wchar_t programData[MAX_PATH + 1];
    ASSERT_GT(GetEnvironmentVariableW(L"ProgramData", programData, MAX_PATH + 1), 0u);
    const fs::path expected = fs::path(programData) / "IIS Tolvane";
    std::error_code ignored;
    fs::remove_all(expected, ignored);

    std::string folder;
    ASSERT_TRUE(ScriptFolder(folder));
    EXPECT_TRUE(SameFolder(folder.substr(0, folder.size() - 1), expected)) << folder;
    EXPECT_EQ(ScriptMailer::WriteScript(folder + ScriptMailer::kScriptName),
              ScriptMailer::Script::Written);
    EXPECT_EQ(test::ReadFile(folder + ScriptMailer::kScriptName), ScriptMailer::ScriptText());
    EXPECT_FALSE(fs::exists(dir_.File("S.VBS")));
    fs::remove(folder + ScriptMailer::kScriptName);

    fs::remove_all(expected);
    test::WriteFile(expected.string(), "not a folder");
    EXPECT_FALSE(ScriptFolder(folder));
    test::RegisterMailObject();
    std::string reason;
    EXPECT_EQ(SendNotificationMail("me@x", "to@y", "s", "b", "", 25, reason), 0);
    EXPECT_EQ(reason, mailtexts::ScriptFailed());
    fs::remove(expected);
}

std::wstring OwnSid() {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<char> buffer(size);
    GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    CloseHandle(token);
    LPWSTR text = nullptr;
    ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text);
    std::wstring sid(text);
    LocalFree(text);
    return sid;
}

// Wine keeps no access list of its own on a folder (it shows one made from the Unix mode), so
// the rule the folder must pass is tried on descriptors as Windows keeps them.
TEST(ScriptFolderRule, OnlyAdministratorsSystemAndTheRunningAccountMayWrite) {
    const std::wstring own = OwnSid();
    const struct {
        std::wstring sddl;
        bool trusted;
    } cases[] = {
        // As the program makes it.
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", true},
        {L"O:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", true},
        {L"O:" + own + L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;" + own + L")", true},
        // Made by a user in ProgramData, where everyone may add folders.
        {L"O:BUD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},
        {L"O:S-1-5-21-1-2-3-1001D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},
        {L"O:BAD:(A;OICI;FA;;;WD)", false},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;;0x2;;;AU)", false},  // Authenticated Users add files
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;;0x40;;;BU)", false},  // delete what is inside
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;;WD;;;BU)", false},    // change the access list
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;;GA;;;BU)", false},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;;GW;;;IU)", false},
        // Reading, denying, and what only things made inside inherit are fine.
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;;0x1200a9;;;WD)", true},
        {L"O:BAD:P(D;;FA;;;WD)(A;OICI;FA;;;BA)", true},
        {L"O:BAD:P(A;OICIIO;FA;;;CO)(A;OICI;FA;;;BA)", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(fs::path(c.sddl).string());
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
            c.sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr));
        EXPECT_EQ(OnlyTrustedMayWrite(descriptor), c.trusted);
        LocalFree(descriptor);
    }
    // No access list at all lets everyone in (Wine reads "D:NO_ACCESS_CONTROL" as an empty list).
    SECURITY_DESCRIPTOR open{};
    ASSERT_TRUE(InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size));
    ASSERT_TRUE(SetSecurityDescriptorOwner(&open, administrators, FALSE));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
    EXPECT_FALSE(OnlyTrustedMayWrite(&open));
}

}  // namespace
}  // namespace tolvane
