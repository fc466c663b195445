#pragma once

// What the POSIX tests ask of the machine: its name, its processes and its users.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "os/Process.h"
#include "os/Socket.h"

namespace tolvane::test {

using namespace std::chrono_literals;

// The machine's own name and where it leads, for the tests that reach the machine by its name
// as the program does; the failure text says what those tests need of the machine.
struct MachineName {
    std::string name;
    std::optional<IPv4Address> address;  // nothing when the name does not resolve
    bool IsLoopback() const;
    std::string Need() const;
};
MachineName OwnMachineName();

// Whether something accepts a connection on the loopback port (a listener a test restarts).
bool LoopbackAnswers(std::uint16_t port);
// A port free on every address, as test_listener binds them all.
std::uint16_t PortFreeEverywhere();
// The pid a test_listener wrote into its file; -1 when none is there yet.
pid_t ReadPid(const std::string& path);

// Every wait of a test on a child, a window or a server has a bound of its own, far below the
// test runner's timeout, so a broken test fails saying what it waited for instead of hanging.
constexpr std::chrono::seconds kChildBound = 60s;

// Waits up to the bound for the child's end. Past it the child (with its process group, when it
// leads one) is killed and the test fails, naming what it waited for; the state then still
// reads running.
ExitState WaitForEnd(ChildProcess& child, std::string_view what,
                     std::chrono::seconds bound = kChildBound);

// A child of a test, leading a process group of its own (started through setsid), so that
// ending it ends whatever it started too. The destructor ends the group however the test ends:
// a failed assertion returns early, and nothing is left running on the machine.
class TestChild {
public:
    TestChild() = default;
    TestChild(TestChild&&) noexcept = default;
    TestChild& operator=(TestChild&&) = delete;
    TestChild(const TestChild&) = delete;
    TestChild& operator=(const TestChild&) = delete;
    ~TestChild() { End(); }

    bool Start(const std::vector<std::string>& argv);
    pid_t Pid() const { return process_.Pid(); }
    bool Started() const { return process_.Started(); }
    ExitState Poll() { return process_.Poll(); }
    ExitState WaitForEnd(std::string_view what, std::chrono::seconds bound = kChildBound) {
        return test::WaitForEnd(process_, what, bound);
    }
    // SIGTERM to the group, a bounded wait for the child, then SIGKILL to what is left.
    void End();

private:
    ChildProcess process_;
};

// The unprivileged user the tests switch to when they run as root, for whom permissions do not
// count.
constexpr uid_t kUnprivilegedUser = 65534;

// Gives the folder and everything in it to the unprivileged user when the tests run as root.
void HandOver(const std::string& folder);

// Copies a program the unprivileged user must run (an executable, a stand-in, a recording
// script) into the folder, which that user can reach: the tests' own folders may lie where it
// cannot go, as in a clone in root's 0700 home. Gives the copy's path.
std::string Stage(const std::string& program, const std::string& folder);

// Runs the function in a child process of its own group, as the unprivileged user when the
// tests run as root, and gives its result, passed back as the exit code (0 to 99). A child that
// cannot switch users or does not end within the bound is a test failure saying so, and gives a
// result above 99.
int RunUnprivileged(std::string_view what, const std::function<int()>& function,
                    std::chrono::seconds bound = kChildBound);

// Sets an environment variable for as long as it lives, then restores what was there.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace tolvane::test
