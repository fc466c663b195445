// The MSI under Wine's msiexec, as an administrator deploys it: an install, the upgrade to a
// later version, a refused downgrade and the removal, each followed by what the administrator
// would look at: the product Windows knows, the files, the Start menu entry, the Event Log
// source and the service. What the programs leave behind (settings, restart log) stays.
#include <windows.h>
// clang-format off
#include <msi.h>
#include <shlobj.h>
#include <knownfolders.h>
// clang-format on

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "os/Process.h"
#include "os/Win32Text.h"
#include "registry/Registry.h"
#include "settings/SettingsStore.h"
#include "settings/SmtpPassword.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/Win32TestSupport.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;

const wchar_t kEventSource[] =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\IIS Tolvane";
const std::string kPackage = test::WindowsPath(TOLVANE_MSI);
const std::string kNextPackage = test::WindowsPath(TOLVANE_NEXT_MSI);
const wchar_t kVersion[] = L"" TOLVANE_VERSION;
const wchar_t kNextVersion[] = L"" TOLVANE_NEXT_VERSION;

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    wchar_t* path = nullptr;
    std::wstring folder;
    if (SHGetKnownFolderPath(id, 0, nullptr, &path) == S_OK) {
        folder = path;
    }
    CoTaskMemFree(path);
    return folder;
}

std::wstring InstallDir() {
    return KnownFolder(FOLDERID_ProgramFiles) + L"\\IIS Tolvane\\";
}

// Windows Installer puts a per-machine package's entry into the Start menu of all users; Wine's
// takes the installing user's whatever ALLUSERS says.
bool StartMenuEntryExists() {
    for (REFKNOWNFOLDERID folder : {FOLDERID_CommonPrograms, FOLDERID_Programs}) {
        if (std::filesystem::exists(KnownFolder(folder) + L"\\IIS Tolvane.lnk")) {
            return true;
        }
    }
    return false;
}

// The installed products named "IIS Tolvane", by product code. By name rather than by upgrade
// code: Wine's msiexec drops the upgrade code's key when an upgrade removes the older product.
std::vector<std::wstring> InstalledProducts() {
    std::vector<std::wstring> products;
    wchar_t product[39];
    for (DWORD i = 0; MsiEnumProductsW(i, product) == ERROR_SUCCESS; ++i) {
        wchar_t name[64] = {};
        DWORD size = 64;
        if (MsiGetProductInfoW(product, L"ProductName", name, &size) == ERROR_SUCCESS &&
            std::wstring(name) == L"IIS Tolvane") {
            products.push_back(product);
        }
    }
    return products;
}

// Their versions: one at most, after an upgrade too.
std::vector<std::wstring> InstalledVersions() {
    std::vector<std::wstring> versions;
    for (const std::wstring& product : InstalledProducts()) {
        wchar_t version[64] = {};
        DWORD size = 64;
        MsiGetProductInfoW(product.c_str(), L"VersionString", version, &size);
        versions.push_back(version);
    }
    return versions;
}

struct Service {
    bool exists = false;
    std::wstring displayName, binaryPath, account;
    DWORD type = 0, startType = 0, state = 0;
};

Service QueryService() {
    Service service;
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE handle =
        manager ? OpenServiceW(manager, L"IISTolvane", SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS)
                : nullptr;
    if (handle != nullptr) {
        service.exists = true;
        std::vector<BYTE> buffer(8192);
        DWORD needed = 0;
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        if (QueryServiceConfigW(handle, config, static_cast<DWORD>(buffer.size()), &needed)) {
            service.displayName = config->lpDisplayName ? config->lpDisplayName : L"";
            service.binaryPath = config->lpBinaryPathName ? config->lpBinaryPathName : L"";
            service.account = config->lpServiceStartName ? config->lpServiceStartName : L"";
            service.type = config->dwServiceType;
            service.startType = config->dwStartType;
        }
        SERVICE_STATUS status{};
        if (QueryServiceStatus(handle, &status)) {
            service.state = status.dwCurrentState;
        }
        CloseServiceHandle(handle);
    }
    if (manager != nullptr) {
        CloseServiceHandle(manager);
    }
    return service;
}

bool EventSourceExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEventSource, 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::string Utf8(const std::wstring& text) {
    return PathFromWide(text);
}

class MsiTest : public ::testing::Test {
protected:
    void SetUp() override {
        Uninstall();
        test::DeleteSettingsKey();
        // The checks go to a port that answers, rarely: the installed service and the probe
        // find the web server up and restart nothing in the test prefix.
        RegistryHive hive(RegistryHive::ClassesRootPath());
        Settings settings;
        settings.Port = listener_.Port();
        settings.Interval = 99999;
        settings.CheckFtpSvc = 0;
        settings.CheckSmtpSvc = 0;
        ASSERT_EQ(SettingsStore(hive).SaveSettings(settings), 1);
    }

    void TearDown() override {
        Uninstall();
        std::error_code ignored;
        std::filesystem::remove_all(InstallDir(), ignored);
        test::DeleteSettingsKey();
    }

    // msiexec with its arguments, quiet, logging into the test folder; the exit code. How long
    // it took is printed (a figure, not a bound).
    int Msiexec(const std::string& step, const std::string& args) {
        const std::string log = test::WindowsPath(dir_.File("msiexec.log"));
        ChildProcess msiexec;
        const auto start = std::chrono::steady_clock::now();
        if (!msiexec.Start("msiexec.exe " + args + " /qn /l*v \"" + log + "\"")) {
            return -1;
        }
        const ExitState state = msiexec.Wait();
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        std::printf("[ figure   ] %s: %lld ms\n", step.c_str(),
                    static_cast<long long>(took.count()));
        return state.readable ? state.exitCode : -1;
    }

    std::string MsiLog() { return test::ReadFile(dir_.File("msiexec.log")); }

    // Removes every installed version, as a test that failed half-way may leave one.
    void Uninstall() {
        for (const std::wstring& product : InstalledProducts()) {
            if (Msiexec("removal left over", "/x " + Utf8(product)) != 0) {
                ADD_FAILURE() << "could not remove " << Utf8(product);
            }
        }
    }

    void ExpectInstalled(const wchar_t* version, DWORD startType, DWORD state) {
        EXPECT_EQ(InstalledVersions(), std::vector<std::wstring>{version});
        const std::wstring dir = InstallDir();
        for (const wchar_t* file : {L"tolvane.exe", L"tolvanectl.exe", L"LICENSE.txt"}) {
            EXPECT_TRUE(std::filesystem::exists(dir + file)) << Utf8(dir + file);
        }
        EXPECT_EQ(test::ReadFile(Utf8(dir + L"INSTALL.txt")),
                  test::ReadFile(std::string(TOLVANE_BIN_DIR) + "/../INSTALL.txt"));
        EXPECT_TRUE(StartMenuEntryExists());

        // wixl writes the message file as a plain string whatever the type asked: it holds the
        // whole path, which reads the same expanded or not.
        wchar_t messageFile[MAX_PATH] = {};
        DWORD size = sizeof messageFile;
        DWORD type = 0;
        EXPECT_EQ(RegGetValueW(
                      HKEY_LOCAL_MACHINE, kEventSource, L"EventMessageFile",
                      RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND | RRF_SUBKEY_WOW6464KEY,
                      &type, messageFile, &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(Utf8(messageFile), Utf8(dir + L"tolvanectl.exe"));
        DWORD types = 0;
        size = sizeof types;
        EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, kEventSource, L"TypesSupported",
                               RRF_RT_REG_DWORD | RRF_SUBKEY_WOW6464KEY, nullptr, &types, &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(types, 7u);

        Service service = QueryService();
        ASSERT_TRUE(service.exists);
        EXPECT_EQ(Utf8(service.displayName), "IIS Tolvane");
        // Windows Installer quotes the program's path; Wine's leaves it bare, which its service
        // control manager takes whole all the same.
        const std::wstring program = dir + L"tolvanectl.exe";
        EXPECT_TRUE(service.binaryPath == L"\"" + program + L"\" service run" ||
                    service.binaryPath == program + L" service run")
            << Utf8(service.binaryPath);
        EXPECT_EQ(Utf8(service.account), "LocalSystem");
        EXPECT_EQ(service.type & SERVICE_WIN32_OWN_PROCESS, DWORD{SERVICE_WIN32_OWN_PROCESS});
        EXPECT_EQ(service.startType, startType);
        if (state == SERVICE_RUNNING) {
            // A start under way becomes RUNNING once the settings are loaded.
            test::WaitUntil([&] { return QueryService().state != SERVICE_START_PENDING; }, 30s);
            service = QueryService();
        }
        EXPECT_EQ(service.state, state);
    }

    // Gone: the product, the programs, the texts, the Start menu entry, the Event Log source
    // and the service. Kept: the settings and the restart log.
    void ExpectRemoved() {
        EXPECT_TRUE(InstalledVersions().empty());
        const std::wstring dir = InstallDir();
        for (const wchar_t* file :
             {L"tolvane.exe", L"tolvanectl.exe", L"INSTALL.txt", L"LICENSE.txt"}) {
            EXPECT_FALSE(std::filesystem::exists(dir + file)) << Utf8(dir + file);
        }
        EXPECT_FALSE(StartMenuEntryExists());
        EXPECT_FALSE(EventSourceExists());
        EXPECT_FALSE(QueryService().exists);
        EXPECT_EQ(test::ReadFile(Utf8(dir + L"TOLVREBOOT.LOG")), kLogged);
        EXPECT_EQ(test::ReadSettingNumber(L"Port"), listener_.Port());
        // The settings stay, the password sealed for this machine does not, nor its key.
        EXPECT_EQ(ReadSmtpPassword().outcome, StoredPassword::Outcome::Missing);
        HKEY product = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\IIS Tolvane", 0, KEY_READ,
                                &product),
                  ERROR_FILE_NOT_FOUND);
    }

    // A line in the restart log beside the programs, as a restart leaves it.
    void WriteRestartLog() { test::WriteFile(Utf8(InstallDir() + L"TOLVREBOOT.LOG"), kLogged); }

    const std::string kLogged = "2026/12/11 04:00:00\tlogged before the upgrade\r\n";
    test::Listener listener_;
    test::TempDir dir_;
};

TEST_F(MsiTest, InstallUpgradeAndRemoval) {
    ASSERT_EQ(Msiexec("install", "/i \"" + kPackage + "\""), 0) << MsiLog();
    ExpectInstalled(kVersion, SERVICE_DEMAND_START, SERVICE_STOPPED);
    // The installed programs run: the probe finds the port of the settings answering.
    const std::string probe = Utf8(L"\"" + InstallDir() + L"tolvanectl.exe\" probe");
    EXPECT_EQ(test::RunUtf8ToFile(probe, dir_.File("probe.txt")), 0)
        << test::ReadFile(dir_.File("probe.txt"));
    WriteRestartLog();

    ASSERT_EQ(Msiexec("upgrade", "/i \"" + kNextPackage + "\""), 0) << MsiLog();
    ExpectInstalled(kNextVersion, SERVICE_DEMAND_START, SERVICE_STOPPED);
    EXPECT_EQ(test::ReadFile(Utf8(InstallDir() + L"TOLVREBOOT.LOG")), kLogged);
    // Stored only now: Wine's msiexec removes the older version without UPGRADINGPRODUCTCODE,
    // which on Windows keeps the password through an upgrade.
    std::string reason;
    ASSERT_TRUE(StoreSmtpPassword("kept", reason)) << reason;

    ASSERT_EQ(Msiexec("uninstall", "/x \"" + kNextPackage + "\""), 0) << MsiLog();
    ExpectRemoved();
}

// From a fresh install of the later version: after an upgrade Wine's msiexec no longer finds
// the installed product by its upgrade code (see InstalledProducts), Windows' does.
TEST_F(MsiTest, AnOlderVersionIsRefused) {
    ASSERT_EQ(Msiexec("install of the later version", "/i \"" + kNextPackage + "\""), 0)
        << MsiLog();
    // Windows shows and logs the package's message ("A newer version of IIS Tolvane is already
    // installed."); Wine's msiexec only refuses.
    EXPECT_EQ(Msiexec("refused downgrade", "/i \"" + kPackage + "\""), ERROR_INSTALL_FAILURE);
    ExpectInstalled(kNextVersion, SERVICE_DEMAND_START, SERVICE_STOPPED);
}

// The fleet's line: the service starts at once and with Windows; an upgrade without the
// property keeps it so, and the removal stops it first.
TEST_F(MsiTest, TheFleetInstallStartsTheServiceAndAnUpgradeKeepsItAutomatic) {
    ASSERT_EQ(Msiexec("install with the service", "/i \"" + kPackage + "\" TOLVANE_SERVICE=1"), 0)
        << MsiLog();
    ExpectInstalled(kVersion, SERVICE_AUTO_START, SERVICE_RUNNING);
    WriteRestartLog();

    ASSERT_EQ(Msiexec("upgrade of a running service", "/i \"" + kNextPackage + "\""), 0)
        << MsiLog();
    ExpectInstalled(kNextVersion, SERVICE_AUTO_START, SERVICE_RUNNING);

    ASSERT_EQ(Msiexec("uninstall of the service", "/x \"" + kNextPackage + "\""), 0) << MsiLog();
    ExpectRemoved();
}

}  // namespace
}  // namespace tolvane
