#include "os/CommandOutput.h"

#include <windows.h>

#include "os/Win32Text.h"

namespace tolvane {

namespace {

class Handle {
public:
    Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Close(); }
    void Close() {
        if (h != nullptr && h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
        }
        h = nullptr;
    }
    HANDLE h = nullptr;
};

// Moves what the pipe holds into the output, never blocking; false once the pipe has ended.
bool Drain(HANDLE pipe, std::string& output) {
    while (true) {
        DWORD waiting = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr)) {
            return false;  // broken: the command and whatever it started closed their ends
        }
        if (waiting == 0) {
            return true;
        }
        char buffer[4096];
        DWORD n = 0;
        if (!ReadFile(pipe, buffer, waiting < sizeof buffer ? waiting : sizeof buffer, &n,
                      nullptr)) {
            return false;
        }
        const std::size_t room = kMaxCommandOutput - output.size();
        output.append(buffer, n < room ? n : room);
    }
}

}  // namespace

CommandOutput RunForOutput(const std::string& commandLine, Deadline deadline, Clock* serve) {
    CommandOutput result;
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    Handle read;
    Handle write;
    Handle nul;
    if (!CreatePipe(&read.h, &write.h, &inheritable, 0) ||
        !SetHandleInformation(read.h, HANDLE_FLAG_INHERIT, 0)) {
        return result;
    }
    nul.h = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                        OPEN_EXISTING, 0, nullptr);
    if (nul.h == INVALID_HANDLE_VALUE) {
        return result;
    }
    // The standard error stays ours: an inheritable copy of it (or the null device when this
    // program has none), so that every handle the child gets is in the list below.
    Handle error;
    const HANDLE ours = GetStdHandle(STD_ERROR_HANDLE);
    if (ours == nullptr || ours == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), ours, GetCurrentProcess(), &error.h, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        error.h = nullptr;
    }
    // Only these handles are inherited.
    HANDLE inherited[3] = {nul.h, write.h, error.h};
    const DWORD inheritedCount = error.h != nullptr ? 3 : 2;
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::string attributeBuffer(size, '\0');
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeBuffer.data());
    if (size == 0 || !InitializeProcThreadAttributeList(list, 1, 0, &size)) {
        return result;
    }
    const bool listed =
        UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                  inheritedCount * sizeof(HANDLE), nullptr, nullptr);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = nul.h;
    startup.StartupInfo.hStdOutput = write.h;
    startup.StartupInfo.hStdError = error.h != nullptr ? error.h : nul.h;
    startup.lpAttributeList = list;
    std::wstring line = ToWide(commandLine);
    PROCESS_INFORMATION process{};
    const bool started = listed && CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                                  CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT,
                                                  nullptr, nullptr, &startup.StartupInfo, &process);
    DeleteProcThreadAttributeList(list);
    write.Close();
    error.Close();
    if (!started) {
        return result;
    }
    Handle child;
    child.h = process.hProcess;
    CloseHandle(process.hThread);
    // Until the command has ended and its output is read, or the deadline.
    bool piped = true;
    while (true) {
        piped = piped && Drain(read.h, result.output);
        DWORD code = 0;
        if (!piped && GetExitCodeProcess(child.h, &code) && code != STILL_ACTIVE) {
            result.end = CommandOutput::End::Exited;
            result.exitCode = static_cast<int>(code);
            return result;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            TerminateProcess(child.h, 1);
            WaitForSingleObject(child.h, 5000);
            result.end = CommandOutput::End::TimedOut;
            return result;
        }
        if (serve != nullptr) {
            serve->Pause(10);
        } else {
            Sleep(10);
        }
    }
}

}  // namespace tolvane
