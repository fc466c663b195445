#include "os/SystemLine.win32.h"

#include <windows.h>

namespace tolvane {

namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

// Where the program name of a command line ends: at the closing quote's blank or the first
// blank, as CreateProcess reads it.
std::size_t ProgramNameEnd(const std::wstring& line, std::size_t start) {
    bool quoted = false;
    std::size_t i = start;
    for (; i < line.size(); ++i) {
        if (line[i] == L'"') {
            quoted = !quoted;
        } else if (IsBlank(line[i]) && !quoted) {
            break;
        }
    }
    return i;
}

std::wstring Unquoted(std::wstring_view word) {
    std::wstring plain;
    for (wchar_t c : word) {
        if (c != L'"') {
            plain += c;
        }
    }
    return plain;
}

// The restart's lines name command.com, which 64-bit Windows does not have: they run with
// the system's command interpreter instead.
bool IsInterpreter(const std::wstring& program) {
    for (const wchar_t* name : {L"command.com", L"command", L"cmd.exe", L"cmd"}) {
        if (_wcsicmp(program.c_str(), name) == 0) {
            return true;
        }
    }
    return false;
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A program named without a folder, as the system folder holds it: the name as it stands when
// it ends in one of the extensions, else with the first of them that is there. Empty when it is
// not there.
std::wstring InSystemFolder(const std::wstring& folder, const std::wstring& name,
                            bool withScripts) {
    if (folder.empty() || name.empty() || name.find_first_of(L"\\/:") != std::wstring::npos) {
        return {};
    }
    static const wchar_t* const kExtensions[] = {L".com", L".exe", L".bat", L".cmd"};
    const std::size_t count = withScripts ? 4 : 2;
    const auto dot = name.rfind(L'.');
    if (dot != std::wstring::npos) {
        for (std::size_t i = 0; i < count; ++i) {
            if (_wcsicmp(name.c_str() + dot, kExtensions[i]) == 0) {
                const std::wstring path = folder + L"\\" + name;
                return IsFile(path) ? path : std::wstring();
            }
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::wstring path = folder + L"\\" + name + kExtensions[i];
        if (IsFile(path)) {
            return path;
        }
    }
    return {};
}

std::size_t SkipBlanks(const std::wstring& line, std::size_t at) {
    while (at < line.size() && IsBlank(line[at])) {
        ++at;
    }
    return at;
}

}  // namespace

std::wstring SystemFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const UINT n = GetSystemDirectoryW(buffer, MAX_PATH + 1);
    return n > 0 && n <= MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

SystemLine ToSystemLine(const std::wstring& folder, const std::wstring& line) {
    const std::size_t start = SkipBlanks(line, 0);
    const std::size_t end = ProgramNameEnd(line, start);
    const std::wstring program = Unquoted(std::wstring_view(line).substr(start, end - start));
    if (!IsInterpreter(program)) {
        const std::wstring path = InSystemFolder(folder, program, false);
        if (path.empty()) {
            return {};
        }
        return {path, L"\"" + path + L"\"" + line.substr(end)};
    }
    // command.com only where the system folder has one (only a 32-bit Windows had it).
    const bool commandCom = _wcsicmp(program.c_str(), L"cmd.exe") != 0 &&
                            _wcsicmp(program.c_str(), L"cmd") != 0 &&
                            IsFile(folder + L"\\command.com");
    const std::wstring interpreter = folder + (commandCom ? L"\\command.com" : L"\\cmd.exe");
    if (!IsFile(interpreter)) {
        return {};
    }
    const std::wstring head = L"\"" + interpreter + L"\"";
    const std::size_t option = SkipBlanks(line, end);
    const std::size_t optionEnd = ProgramNameEnd(line, option);
    if (_wcsicmp(line.substr(option, optionEnd - option).c_str(), L"/C") != 0) {
        return {interpreter, head + line.substr(end)};
    }
    // The program the interpreter runs, by its full path too: the interpreter would look in its
    // current folder and along PATH first.
    const std::size_t inner = SkipBlanks(line, optionEnd);
    const std::size_t innerEnd = ProgramNameEnd(line, inner);
    const std::wstring path = InSystemFolder(
        folder, Unquoted(std::wstring_view(line).substr(inner, innerEnd - inner)), true);
    if (path.empty()) {
        return {};
    }
    const std::wstring rest = line.substr(innerEnd);
    if (commandCom) {
        wchar_t shortPath[MAX_PATH + 1];
        const DWORD n = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH + 1);
        return {interpreter, head + L" /C " +
                                 (n > 0 && n <= MAX_PATH ? std::wstring(shortPath, n) : path) +
                                 rest};
    }
    // /S: the interpreter takes what stands between the outer quotes as it is.
    return {interpreter, head + L" /S /C \"\"" + path + L"\"" + rest + L"\""};
}

}  // namespace tolvane
