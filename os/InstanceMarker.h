#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tolvane {

// The mark of the running copy: a listening Unix socket in the abstract namespace, named after
// the instance. Binding it is atomic, so of two copies started at the same instant exactly one
// holds it; it is close-on-exec and vanishes with the process, so a service started by a
// restart can never keep it alive. On Windows the mark is the named mutex of that name, held
// also under Global\ so that a copy in another session sees it. How a later copy gets the running
// copy's window shown differs: see InstanceMarker.posix.h; on Windows the window itself is found
// (ui/win32).
class InstanceMarker {
public:
    enum class Claim {
        Held,         // this process is the running copy
        HeldByOther,  // another copy runs
        Unavailable,  // no marker could be made: run without single-instance protection
    };

    // The name every copy of the program marks itself under, window or headless monitor:
    // "hPrevTOLVInstance". Only the project's tests set $TOLVANE_TEST_INSTANCE; it gives them a
    // marker of their own beside that name, so a test never meets a copy that runs on the
    // machine, nor another test.
    static std::string ProgramName();

    explicit InstanceMarker(std::string name);
    InstanceMarker(InstanceMarker&& other) noexcept;
    InstanceMarker& operator=(InstanceMarker&& other) noexcept;
    InstanceMarker(const InstanceMarker&) = delete;
    InstanceMarker& operator=(const InstanceMarker&) = delete;
    ~InstanceMarker();

    Claim State() const { return claim_; }

    // Which program holds a marker, as later copies learn it without the holder's help, so
    // also while the holder is busy with a restart or stopped.
    enum class Program { Unknown, Window, Tolvanectl, Service };  // Service: Windows only
    struct Holder {
        Program program = Program::Unknown;
        long pid = 0;
    };
    // Held only: makes this process known as the holder, until it ends.
    void Announce(Program program);
    // The holder of the marker of that name as announced; Unknown when none is announced
    // within a moment (a holder announces itself right after it took the marker).
    static Holder FindHolder(const std::string& name);

    // Whether some process holds the marker, seen from the kernel's list of sockets without
    // connecting to it.
    static bool IsHeld(const std::string& name);

private:
    // "<program>.<pid>": how a holder is told, readable by a later copy.
    static std::string AnnouncementText(Program program, long pid);
    static Holder ParseAnnouncement(std::string_view text);
    // One look at the announcement of the marker of that name.
    static Holder ReadAnnouncement(const std::string& name);

public:
    // What the marker holds on this platform; only the platform's own code looks inside.
    struct Handles;
    Handles& PlatformHandles() { return *handles_; }

private:
    std::string name_;
    Claim claim_ = Claim::Unavailable;
    std::unique_ptr<Handles> handles_;
};

}  // namespace tolvane
