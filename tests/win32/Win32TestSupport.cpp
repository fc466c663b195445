#include "tests/win32/Win32TestSupport.h"

#include <windows.h>

#include "os/Process.h"
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

void DeleteSettingsKey() {
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

}  // namespace tolvane::test
