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

// One started child: standard input from /dev/null, no inherited descriptor (every
// descriptor of this program is close-on-exec), default signal dispositions and mask.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    // The next Start puts the child at the head of a process group of its own, so that a
    // terminal's Ctrl-C or hang-up, sent to this program's group, never reaches it.
    void UseOwnProcessGroup() { ownGroup_ = true; }

    // Splits and searches the command line; false when the program cannot be started.
    bool Start(std::string_view commandLine);
    // standardInput: a descriptor for the child's standard input instead of /dev/null.
    bool Start(const std::vector<std::string>& argv, int standardInput = -1);

    ExitState Poll();  // never blocks
    ExitState Wait();  // blocks until the child has ended

    ProcessId Pid() const { return pid_; }
    bool Started() const { return pid_ > 0; }

private:
    ExitState Collect(int options);

    ProcessId pid_ = -1;
    // The process handle on Windows, closed by the destructor; unused on POSIX.
    [[maybe_unused]] void* handle_ = nullptr;
    bool ownGroup_ = false;
    bool reaped_ = false;
    ExitState last_;
};

}  // namespace tolvane
