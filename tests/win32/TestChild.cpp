// What the tests plant where programs must not be looked for, and where they may: each run
// appends one line to the file $TOLVANE_TEST_MARK, "pid|its own path|its current
// folder|its command line" (UTF-8). "--read" first reads its standard input to the end;
// "--sleep" then waits until it is ended.
#include <windows.h>

#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

bool Has(const std::wstring& line, const wchar_t* option) {
    return line.find(option) != std::wstring::npos;
}

}  // namespace

int main() {
    const std::wstring line = GetCommandLineW();
    if (Has(line, L"--read")) {
        char buffer[256];
        DWORD n = 0;
        const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        while (ReadFile(input, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        }
    }
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    wchar_t folder[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH + 1, folder);
    wchar_t mark[MAX_PATH + 1] = {};
    if (GetEnvironmentVariableW(L"TOLVANE_TEST_MARK", mark, MAX_PATH + 1) > 0) {
        const std::string record = std::to_string(GetCurrentProcessId()) + "|" + Utf8(self) +
                                   "|" + Utf8(folder) + "|" + Utf8(line) + "\n";
        HANDLE file = CreateFileW(mark, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
            CloseHandle(file);
        }
    }
    if (Has(line, L"--sleep")) {
        Sleep(INFINITE);
    }
    return 0;
}
