#include "tests/win32/Win32TestSupport.h"

#include <windows.h>
// clang-format off
#include <sddl.h>
// clang-format on

#include <functional>

#include "os/Process.h"
#include "os/Win32Text.h"
#include "registry/Registry.h"
#include "settings/SettingsStore.h"
#include "tests/support/TestSupport.h"

namespace tolvane::test {

std::string WindowsPath(std::string path) {
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return path;
}

int RunToFile(const std::string& commandLine, const std::string& outFile) {
    ChildProcess child;
    // /S: the interpreter takes everything between the outer quotes as it stands.
    if (!child.Start("cmd.exe /S /C \"" + commandLine + " > \"" + WindowsPath(outFile) +
                     "\" 2>&1\"")) {
        return -1;
    }
    const ExitState state = child.Wait();
    return state.readable ? state.exitCode : -1;
}

void EndProcess(long pid) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid));
    if (process != nullptr) {
        TerminateProcess(process, 1);
        CloseHandle(process);
    }
}

void StoreSecondlyChecksOf(std::uint16_t port) {
    RegistryHive hive(RegistryHive::ClassesRootPath());
    Settings settings;
    settings.Port = port;
    settings.Interval = 1;
    settings.CheckFtpSvc = 0;
    settings.CheckSmtpSvc = 0;
    SettingsStore(hive).SaveSettings(settings);
}

void DeleteSettingsKey() {
    MakeSettingsKeyReadOnly(false);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Zr.ClassDlg.1");
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L"Zr.ClassDlg.1");
}

void MakeSettingsKeyUncreatable() {
    DeleteSettingsKey();
    ::HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, L"Zr.ClassDlg.1", 0, nullptr, REG_OPTION_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        RegCloseKey(key);
    }
}

namespace {

const wchar_t kSettingKey[] = L"Zr.ClassDlg.1\\Setting";

}  // namespace

std::wstring ReadSettingText(const wchar_t* name) {
    std::wstring buffer(70000, L'\0');
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_CLASSES_ROOT, kSettingKey, name, RRF_RT_REG_SZ, nullptr, buffer.data(),
                     &size) != ERROR_SUCCESS) {
        return L"<unreadable>";
    }
    return buffer.c_str();
}

void WriteSettingText(const wchar_t* name, const std::wstring& text) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, kSettingKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void DeleteSettingValue(const wchar_t* name) {
    RegDeleteKeyValueW(HKEY_CLASSES_ROOT, kSettingKey, name);
}

void WriteSettingValue(const wchar_t* name, unsigned long type, const std::string& data) {
    RegSetKeyValueW(HKEY_CLASSES_ROOT, kSettingKey, name, type, data.data(),
                    static_cast<DWORD>(data.size()));
}

long long ReadSettingNumber(const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CLASSES_ROOT, kSettingKey, name, RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS) {
        return -1;
    }
    return value;
}

bool MakeSettingsKeyReadOnly(bool readOnly) {
    // Protected: nothing inherited from above gives more.
    const wchar_t* sddl = readOnly ? L"D:P(A;;KR;;;WD)" : L"D:P(A;;KA;;;WD)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        return false;
    }
    bool done = true;
    for (const wchar_t* path : {L"Zr.ClassDlg.1", kSettingKey}) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, WRITE_DAC, &key) != ERROR_SUCCESS) {
            done = false;
            continue;
        }
        done =
            RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS && done;
        RegCloseKey(key);
    }
    LocalFree(descriptor);
    return done;
}

namespace {

// Starts a UTF-8 command line without a console window; the process handle stays with the caller.
bool LaunchUtf8(const std::string& commandLine, PROCESS_INFORMATION& process) {
    std::wstring line = PathToWide(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    return true;
}

}  // namespace

long StartUtf8(const std::string& commandLine) {
    PROCESS_INFORMATION process{};
    if (!LaunchUtf8(commandLine, process)) {
        return -1;
    }
    CloseHandle(process.hProcess);
    return static_cast<long>(process.dwProcessId);
}

int RunUtf8ToFile(const std::string& commandLine, const std::string& outFile) {
    PROCESS_INFORMATION process{};
    if (!LaunchUtf8("cmd.exe /S /C \"" + commandLine + " > \"" + WindowsPath(outFile) + "\" 2>&1\"",
                    process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    const bool read = GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return read ? static_cast<int>(code) : -1;
}

void RegisterMailObject() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, L"CDONTS.NewMail", 0, nullptr, 0, KEY_WRITE, nullptr,
                        &key, nullptr) == ERROR_SUCCESS) {
        RegCloseKey(key);
    }
}

void UnregisterMailObject() {
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L"CDONTS.NewMail");
}

std::string QuerySettingsKey(const std::string& scratchFolder) {
    const std::string out = scratchFolder + "/reg-query.txt";
    RunToFile("reg.exe query \"HKEY_CLASSES_ROOT\\Zr.ClassDlg.1\\Setting\"", out);
    return ReadFile(out);
}

// The first top-level window of the process that `matches` takes.
HWND WindowOf(long pid, const std::function<bool(HWND)>& matches) {
    struct Search {
        DWORD pid;
        const std::function<bool(HWND)>& matches;
        HWND found = nullptr;
    } search{static_cast<DWORD>(pid), matches};
    EnumWindows(
        [](HWND window, LPARAM data) {
            auto* wanted = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == wanted->pid && wanted->matches(window)) {
                wanted->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A visible message box (dialog class "#32770") of the process.
HWND MessageBoxOf(long pid) {
    return WindowOf(pid, [](HWND window) {
        wchar_t windowClass[16] = {};
        GetClassNameW(window, windowClass, 16);
        return IsWindowVisible(window) && std::wstring(windowClass) == L"#32770";
    });
}

std::string TextOf(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return FromWide(text);
}

}  // namespace tolvane::test
