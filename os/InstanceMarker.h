#pragma once

#include <string>
#include <string_view>

namespace tolvane {

// The mark of the running copy: a listening Unix socket in the abstract namespace, named after
// the instance. Binding it is atomic, so of two copies started at the same instant exactly one
// holds it; it is close-on-exec and vanishes with the process, so a service started by a
// restart can never keep it alive. A later copy connects to it and asks the first to show
// its window. On Windows the mark is the named mutex of that name (per session, as Windows
// makes it), and a later copy finds the running copy's window by its title.
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
    InstanceMarker(const InstanceMarker&) = delete;
    InstanceMarker& operator=(const InstanceMarker&) = delete;
    ~InstanceMarker();

    Claim State() const { return state_; }

    // Which program holds a marker, as later copies learn it without the holder's help, so
    // also while the holder is busy with a restart or stopped.
    enum class Program { Unknown, Window, Tolvanectl };
    struct Holder {
        Program program = Program::Unknown;
        long pid = 0;
    };
    // Held only: makes this process known as the holder, until it ends.
    void Announce(Program program);
    // The holder of the marker of that name as announced; Unknown when none is announced
    // within a moment (a holder announces itself right after it took the marker).
    static Holder FindHolder(const std::string& name);

    // Readable while a later copy waits to be heard; -1 unless held.
    int ListenFd() const { return fd_; }

    // Takes one waiting copy off the queue, without blocking. The connection's descriptor
    // (close-on-exec, non-blocking), or -1 when none waits.
    int AcceptWaiting();

    // What a waiting copy asked for, read without blocking from its connection.
    enum class Request { Incomplete, ShowWindow, Invalid };
    static Request ReadRequest(int connection);
    // Tells the later copy that its request was carried out, and closes the connection.
    static void Answer(int connection);

    // The later copy's side: asks the running copy to show its window and waits for the
    // answer, reaching it and hearing it within boundMs together, however many copies already
    // wait in its queue. False when no running copy could be reached or it did not answer in
    // time (it may still be busy and show the window later).
    static bool AskToShow(const std::string& name, int boundMs);

    // Only the marker's own user may ask; a request from another account is refused.
    static bool FromSameUser(int connection);

    // Whether some process holds the marker, seen from the kernel's list of sockets without
    // connecting to it.
    static bool IsHeld(const std::string& name);

private:
    // "<program>.<pid>": how a holder is told, readable by a later copy.
    static std::string AnnouncementText(Program program, long pid);
    static Holder ParseAnnouncement(std::string_view text);
    // One look at the announcement of the marker of that name.
    static Holder ReadAnnouncement(const std::string& name);

    std::string name_;
    int fd_ = -1;
    int announcement_ = -1;       // on POSIX: the holder's announcement, a second bound name
    void* mutex_ = nullptr;       // on Windows: the named mutex whose existence marks the copy
    void* holderInfo_ = nullptr;  // on Windows: the holder's announcement, a named mapping
    Claim state_ = Claim::Unavailable;
};

}  // namespace tolvane
