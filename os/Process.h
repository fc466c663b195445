#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// The system's process id.
using ProcessId = long;

// The real path of the running executable, and its folder with a trailing "/".
std::string ExecutablePath();
std::string ExecutableDirectory();

// Finds a program as the Windows loader would on this system: a name with "/" as it stands,
// otherwise in the executable's folder, then the current folder, then each folder of PATH.
// Empty when nothing executable is found.
std::string FindProgram(const std::string& name);

struct ExitState {
    bool running = false;
    bool readable = true;  // false when the state could not be read
    int exitCode = 0;      // a child killed by a signal reports 128 + the signal number
};

// How a command line of the restart or of the mail was started.
enum class SystemStart { Started, NotStarted, NotInSystemFolder };

// One started child: standard input from /dev/null (NUL on Windows, so a question such as
// net's "(Y/N)" ends at once), no inherited descriptor (every descriptor of this program is
// close-on-exec), default signal dispositions and mask.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    // The next Start puts the child at the head of a process group of its own (on Windows also
    // in a job of its own), so that a terminal's Ctrl-C or hang-up, sent to this program's
    // group, never reaches it, and EndGroup reaches whatever it started.
    void UseOwnProcessGroup() { ownGroup_ = true; }

    // Splits and searches the command line; false when the program cannot be started.
    bool Start(std::string_view commandLine);
    // standardInput: a descriptor for the child's standard input instead of /dev/null.
    bool Start(const std::vector<std::string>& argv, int standardInput = -1);

    // A command line of the restart or of the mail. On Windows its programs come from the
    // system folder alone: the interpreter that "command.com" names (the system folder's
    // command.com where it has one, else its cmd.exe), the program that interpreter runs and
    // any other program, each by its full path there, with the system folder as the child's
    // current folder; a program that is not there is not run. Elsewhere as Start, the
    // stand-ins playing the Windows tools.
    SystemStart StartSystemCommand(std::string_view commandLine);

    // Ends the child and, with its own group, everything it started, then collects it.
    void EndGroup();

    ExitState Poll();  // never blocks
    ExitState Wait();  // blocks until the child has ended

    ProcessId Pid() const { return pid_; }
    bool Started() const { return pid_ > 0; }

private:
    ExitState Collect(int options);
#ifdef _WIN32
    bool Launch(const std::wstring& application, std::wstring line, const std::wstring& folder);
#endif

    ProcessId pid_ = -1;
    // The process handle and the job on Windows, closed by the destructor; unused on POSIX.
    [[maybe_unused]] void* handle_ = nullptr;
    [[maybe_unused]] void* job_ = nullptr;
    bool ownGroup_ = false;
    bool reaped_ = false;
    ExitState last_;
};

}  // namespace tolvane
