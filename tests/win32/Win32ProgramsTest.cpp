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

std::wstring AccessListOf(const fs::path& folder) {
    DWORD size = 0;
    GetFileSecurityW(folder.wstring().c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<char> buffer(size);
    LPWSTR text = nullptr;
    if (size == 0 ||
        !GetFileSecurityW(folder.wstring().c_str(), DACL_SECURITY_INFORMATION, buffer.data(), size,
                          &size) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(
            buffer.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
        return {};
    }
    std::wstring acl(text);
    LocalFree(text);
    return acl;
}

// S.VBS goes into a folder of its own under ProgramData that only administrators and SYSTEM
// may write, never into the current folder; a folder of that name that others may write is
// refused, and the mail with it.
TEST_F(ProgramsTest, TheScriptGoesIntoAFolderOnlyAdministratorsMayWrite) {
    wchar_t programData[MAX_PATH + 1];
    ASSERT_GT(GetEnvironmentVariableW(L"ProgramData", programData, MAX_PATH + 1), 0u);
    const fs::path expected = fs::path(programData) / "IIS Tolvane";
    std::error_code ignored;
    fs::remove_all(expected, ignored);

    std::string folder;
    ASSERT_TRUE(ScriptFolder(folder));
    EXPECT_TRUE(SameFolder(folder.substr(0, folder.size() - 1), expected)) << folder;
    const std::wstring acl = AccessListOf(expected);
    EXPECT_NE(acl.find(L"D:P"), std::wstring::npos) << "inherits from ProgramData";
    EXPECT_NE(acl.find(L"(A;OICI;0x1200a9;;;BU)"), std::wstring::npos);
    EXPECT_EQ(acl.find(L";WD)"), std::wstring::npos);
    EXPECT_EQ(ScriptMailer::WriteScript(folder + ScriptMailer::kScriptName),
              ScriptMailer::Script::Written);
    EXPECT_EQ(test::ReadFile(folder + ScriptMailer::kScriptName), ScriptMailer::ScriptText());
    EXPECT_FALSE(fs::exists(dir_.File("S.VBS")));
    fs::remove(folder + ScriptMailer::kScriptName);

    // Made beforehand by someone else, open to everyone.
    fs::remove_all(expected);
    PSECURITY_DESCRIPTOR open = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;OICI;FA;;;WD)", SDDL_REVISION_1, &open, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, open, FALSE};
    ASSERT_TRUE(CreateDirectoryW(expected.wstring().c_str(), &attributes));
    LocalFree(open);
    EXPECT_FALSE(ScriptFolder(folder));
    test::RegisterMailObject();
    std::string reason;
    EXPECT_EQ(SendNotificationMail("me@x", "to@y", "s", "b", "", 25, reason), 0);
    EXPECT_EQ(reason, mailtexts::ScriptFailed());
    EXPECT_FALSE(fs::exists(expected / "S.VBS"));
    fs::remove_all(expected);
}

}  // namespace
}  // namespace tolvane
