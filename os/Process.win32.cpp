#include "os/Process.h"

#include <windows.h>

#include <utility>

#include "os/Win32Text.h"

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

// 64-bit Windows has no command.com. The restart's lines name it, so without this every one of
// them would fail and the restart would report success having run nothing.
bool IsCommandCom(const std::wstring& program) {
    return _wcsicmp(program.c_str(), L"command.com") == 0 ||
           _wcsicmp(program.c_str(), L"command") == 0;
}

std::wstring CommandInterpreter() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = GetEnvironmentVariableW(L"ComSpec", buffer, MAX_PATH + 1);
    if (n > 0 && n <= MAX_PATH) {
        return std::wstring(buffer, n);
    }
    const UINT length = GetSystemDirectoryW(buffer, MAX_PATH + 1);
    return std::wstring(buffer, length) + L"\\cmd.exe";
}

// One argument quoted so that the C runtime's splitting gives it back unchanged.
void AppendQuoted(std::string& line, const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
        line += arg;
        return;
    }
    line += '"';
    std::size_t slashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        line.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
        slashes = 0;
        line += c;
    }
    line.append(slashes * 2, '\\');
    line += '"';
}

}  // namespace

std::string ExecutablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    while (true) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return {};
        }
        if (n < buffer.size()) {
            buffer.resize(n);
            return PathFromWide(buffer);
        }
        if (buffer.size() >= 32768) {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string ExecutableDirectory() {
    // Cut in UTF-16, where a backslash is always a character of its own, never the second
    // byte of a two-byte character as 0x5C is in 表 or ソ.
    const std::wstring path = PathToWide(ExecutablePath());
    const auto separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::string()
                                           : PathFromWide(path.substr(0, separator + 1));
}

std::string FindProgram(const std::string& name) {
    if (name.empty()) {
        return {};
    }
    wchar_t found[MAX_PATH + 1];
    const DWORD n =
        SearchPathW(nullptr, PathToWide(name).c_str(), L".exe", MAX_PATH + 1, found, nullptr);
    return n > 0 && n <= MAX_PATH ? PathFromWide(std::wstring_view(found, n)) : std::string();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      handle_(std::exchange(other.handle_, nullptr)),
      ownGroup_(other.ownGroup_),
      reaped_(other.reaped_),
      last_(other.last_) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        if (handle_ != nullptr) {
            CloseHandle(handle_);
        }
        pid_ = std::exchange(other.pid_, -1);
        handle_ = std::exchange(other.handle_, nullptr);
        ownGroup_ = other.ownGroup_;
        reaped_ = other.reaped_;
        last_ = other.last_;
    }
    return *this;
}

// A child still running is left to run on; only our handle to it is closed.
ChildProcess::~ChildProcess() {
    if (handle_ != nullptr) {
        CloseHandle(handle_);
    }
}

bool ChildProcess::Start(std::string_view commandLine) {
    if (Started()) {
        return false;
    }
    // The child gets the monitor's desktop, title and show settings, but none of its handles:
    // a service started by a restart must not keep the monitor's sockets or files open.
    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);
    startup.cb = sizeof startup;
    startup.dwFlags &= ~static_cast<DWORD>(STARTF_USESTDHANDLES);
    startup.cbReserved2 = 0;
    startup.lpReserved2 = nullptr;
    startup.lpReserved = nullptr;

    std::wstring line = ToWide(commandLine);
    std::size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) {
        ++start;
    }
    // A group of its own keeps the console's Ctrl-C from reaching the child.
    const DWORD flags = CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS |
                        (ownGroup_ ? static_cast<DWORD>(CREATE_NEW_PROCESS_GROUP) : 0);
    PROCESS_INFORMATION process{};
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                           &startup, &process)) {
            CloseHandle(process.hThread);
            handle_ = process.hProcess;
            pid_ = static_cast<ProcessId>(process.dwProcessId);
            reaped_ = false;
            return true;
        }
        const DWORD error = GetLastError();
        const std::size_t end = ProgramNameEnd(line, start);
        if (attempt > 0 || (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) ||
            !IsCommandCom(Unquoted(std::wstring_view(line).substr(start, end - start)))) {
            return false;
        }
        // The same line with the system's interpreter in place of the missing command.com.
        line = L"\"" + CommandInterpreter() + L"\"" + line.substr(end);
        start = 0;
    }
    return false;
}

bool ChildProcess::Start(const std::vector<std::string>& argv, int standardInput) {
    if (argv.empty() || standardInput >= 0) {
        return false;
    }
    std::string line;
    for (const auto& arg : argv) {
        if (!line.empty()) {
            line += ' ';
        }
        AppendQuoted(line, arg);
    }
    return Start(line);
}

ExitState ChildProcess::Poll() {
    if (handle_ == nullptr) {
        return ExitState{false, false, 0};
    }
    if (reaped_) {
        return last_;
    }
    const DWORD waited = WaitForSingleObject(handle_, 0);
    if (waited == WAIT_TIMEOUT) {
        return ExitState{true, true, 0};
    }
    DWORD code = 0;
    reaped_ = true;
    if (waited != WAIT_OBJECT_0 || !GetExitCodeProcess(handle_, &code)) {
        last_ = ExitState{false, false, 0};
    } else {
        last_ = ExitState{false, true, static_cast<int>(code)};
    }
    return last_;
}

ExitState ChildProcess::Wait() {
    if (handle_ != nullptr && !reaped_) {
        WaitForSingleObject(handle_, INFINITE);
    }
    return Poll();
}

}  // namespace tolvane
