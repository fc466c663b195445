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
    // Without a console of its own the output code page is unknown; the OEM code page is
    // what a console would start with.
    UINT codePage = GetConsoleOutputCP();
    if (codePage == 0) {
        codePage = GetOEMCP();
    }
    const std::string bytes = FromWide(ToWide(text, CP_UTF8), codePage);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

}  // namespace tolvane
