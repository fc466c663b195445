#pragma once

#include <string>

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

    // The later copy's side: asks the running copy to show its window and waits up to
    // answerWaitMs for the answer. False when no running copy could be reached or it did not
    // answer in time (it may still be busy and show the window later).
    static bool AskToShow(const std::string& name, int answerWaitMs);

    // Only the marker's own user may ask; a request from another account is refused.
    static bool FromSameUser(int connection);

private:
    std::string name_;
    int fd_ = -1;
    void* mutex_ = nullptr;  // on Windows: the named mutex whose existence marks the copy
    Claim state_ = Claim::Unavailable;
};

}  // namespace tolvane
