#include "os/Console.h"

#include <windows.h>

#include "os/Win32Text.h"

namespace tolvane {

std::vector<std::string> CommandArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) {
        args.push_back(FromWide(wide[i], CP_UTF8));
    }
    LocalFree(wide);
    return args;
}

void WriteText(std::FILE* stream, std::string_view text) {
    std::fflush(stream);
    HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        const std::wstring wide = ToWide(text, CP_UTF8);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    // A file or a pipe gets UTF-8 whatever the system's code pages are: the console's output
    // code page would turn Japanese, or a path's characters, into "?" on most locales.
    std::fwrite(text.data(), 1, text.size(), stream);
}

bool ReadHiddenLine(const std::string& prompt, std::string& line) {
    line.clear();
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD saved = 0;
    bool any = false;
    bool ended = false;
    if (GetConsoleMode(input, &saved)) {
        WriteText(stderr, prompt);
        SetConsoleMode(input, (saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT |
                                  ENABLE_PROCESSED_INPUT);
        std::wstring typed;
        wchar_t c = 0;
        DWORD read = 0;
        while (ReadConsoleW(input, &c, 1, &read, nullptr) && read == 1) {
            any = true;
            if (c == L'\n') {
                ended = true;
                break;
            }
            typed += c;
        }
        SetConsoleMode(input, saved);
        WriteText(stderr, "\n");
        line = FromWide(typed, CP_UTF8);
        SecureZeroMemory(typed.data(), typed.size() * sizeof(wchar_t));
    } else {
        // A file or a pipe: its bytes as they are, as on Linux.
        char c = 0;
        DWORD read = 0;
        while (ReadFile(input, &c, 1, &read, nullptr) && read == 1) {
            any = true;
            if (c == '\n') {
                ended = true;
                break;
            }
            line += c;
        }
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return ended || any;
}

}  // namespace tolvane
