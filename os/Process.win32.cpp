#include "os/Process.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "os/SystemLine.win32.h"
#include "os/Win32Text.h"

namespace tolvane {

namespace {

// The null device as the child's standard handles, and nothing else inherited.
class NulHandles {
public:
    NulHandles() {
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        nul_ = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inheritable, OPEN_EXISTING, 0, nullptr);
        if (nul_ == INVALID_HANDLE_VALUE) {
            return;
        }
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        buffer_.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
        if (size == 0 || !InitializeProcThreadAttributeList(list, 1, 0, &size)) {
            return;
        }
        initialised_ = true;
        if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &nul_,
                                      sizeof nul_, nullptr, nullptr)) {
            list_ = list;
        }
    }
    ~NulHandles() {
        if (initialised_) {
            DeleteProcThreadAttributeList(
                reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data()));
        }
        if (nul_ != INVALID_HANDLE_VALUE) {
            CloseHandle(nul_);
        }
    }
    NulHandles(const NulHandles&) = delete;
    NulHandles& operator=(const NulHandles&) = delete;

    // False when the list could not be made: the child then inherits nothing at all.
    bool Ready() const { return list_ != nullptr; }
    HANDLE Nul() const { return nul_; }
    LPPROC_THREAD_ATTRIBUTE_LIST List() const { return list_; }

private:
    HANDLE nul_ = INVALID_HANDLE_VALUE;
    std::vector<char> buffer_;
    bool initialised_ = false;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

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
      job_(std::exchange(other.job_, nullptr)),
      ownGroup_(other.ownGroup_),
      reaped_(other.reaped_),
      last_(other.last_) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        for (void* held : {handle_, job_}) {
            if (held != nullptr) {
                CloseHandle(held);
            }
        }
        pid_ = std::exchange(other.pid_, -1);
        handle_ = std::exchange(other.handle_, nullptr);
        job_ = std::exchange(other.job_, nullptr);
        ownGroup_ = other.ownGroup_;
        reaped_ = other.reaped_;
        last_ = other.last_;
    }
    return *this;
}

// A child still running is left to run on; only our handles to it and its job are closed.
ChildProcess::~ChildProcess() {
    for (void* held : {handle_, job_}) {
        if (held != nullptr) {
            CloseHandle(held);
        }
    }
}

bool ChildProcess::Launch(const std::wstring& application, std::wstring line,
                          const std::wstring& folder) {
    if (Started()) {
        return false;
    }
    // The child gets the monitor's desktop, title and show settings, and the null device as its
    // standard handles, but no other handle: a service started by a restart must not keep the
    // monitor's sockets or files open.
    STARTUPINFOEXW startup{};
    GetStartupInfoW(&startup.StartupInfo);
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags &= ~static_cast<DWORD>(STARTF_USESTDHANDLES);
    startup.StartupInfo.cbReserved2 = 0;
    startup.StartupInfo.lpReserved2 = nullptr;
    startup.StartupInfo.lpReserved = nullptr;
    NulHandles nul;
    if (nul.Ready()) {
        startup.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdInput = nul.Nul();
        startup.StartupInfo.hStdOutput = nul.Nul();
        startup.StartupInfo.hStdError = nul.Nul();
        startup.lpAttributeList = nul.List();
    }
    // A group of its own keeps the console's Ctrl-C from reaching the child; its job lets
    // EndGroup end what the child started, such as the net.exe under the interpreter.
    const DWORD flags = CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS |
                        (nul.Ready() ? static_cast<DWORD>(EXTENDED_STARTUPINFO_PRESENT) : 0) |
                        (ownGroup_ ? static_cast<DWORD>(CREATE_NEW_PROCESS_GROUP |
                                                        CREATE_SUSPENDED)
                                   : 0);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(application.empty() ? nullptr : application.c_str(), line.data(), nullptr,
                        nullptr, nul.Ready() ? TRUE : FALSE, flags, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup.StartupInfo,
                        &process)) {
        return false;
    }
    if (ownGroup_) {
        job_ = CreateJobObjectW(nullptr, nullptr);
        if (job_ != nullptr && !AssignProcessToJobObject(job_, process.hProcess)) {
            CloseHandle(job_);
            job_ = nullptr;
        }
        ResumeThread(process.hThread);
    }
    CloseHandle(process.hThread);
    handle_ = process.hProcess;
    pid_ = static_cast<ProcessId>(process.dwProcessId);
    reaped_ = false;
    return true;
}

bool ChildProcess::Start(std::string_view commandLine) {
    return Launch({}, ToWide(commandLine), {});
}

SystemStart ChildProcess::StartSystemCommand(std::string_view commandLine) {
    const std::wstring folder = SystemFolder();
    const SystemLine mapped = ToSystemLine(folder, ToWide(commandLine));
    if (mapped.application.empty()) {
        return SystemStart::NotInSystemFolder;
    }
    return Launch(mapped.application, mapped.line, folder) ? SystemStart::Started
                                                            : SystemStart::NotStarted;
}

void ChildProcess::EndGroup() {
    if (handle_ == nullptr || reaped_) {
        return;
    }
    if (job_ == nullptr || !TerminateJobObject(job_, 1)) {
        TerminateProcess(handle_, 1);
    }
    Wait();
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
