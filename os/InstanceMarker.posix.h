#pragma once

// The show requests of later copies, which only the POSIX marker carries: a later copy connects
// to the running copy's socket and asks it to show its window. (On Windows a later copy finds
// the window itself.)
#include <string>

#include "os/InstanceMarker.h"

namespace tolvane {

// One waiting copy's connection (close-on-exec, non-blocking), closed by the destructor.
class InstanceConnection {
public:
    InstanceConnection() = default;
    explicit InstanceConnection(int descriptor) : fd_(descriptor) {}
    InstanceConnection(InstanceConnection&& other) noexcept;
    InstanceConnection& operator=(InstanceConnection&& other) noexcept;
    InstanceConnection(const InstanceConnection&) = delete;
    InstanceConnection& operator=(const InstanceConnection&) = delete;
    ~InstanceConnection();

    explicit operator bool() const { return fd_ >= 0; }
    // Readable when the waiting copy said something or went away.
    int Descriptor() const { return fd_; }

    // Only the marker's own user may ask; a request from another account is refused.
    bool FromSameUser() const;

    // What the waiting copy asked for, read without blocking.
    enum class Request { Incomplete, ShowWindow, Invalid };
    Request ReadRequest();
    // Tells the later copy that its request was carried out, and closes the connection.
    void Answer();

private:
    int fd_ = -1;
};

// Readable while a later copy waits to be heard; -1 unless the marker is held.
int ListenDescriptor(InstanceMarker& marker);

// Takes one waiting copy off the marker's queue, without blocking; an empty connection when
// none waits.
InstanceConnection AcceptWaiting(InstanceMarker& marker);

// The later copy's side: asks the running copy to show its window and waits for the answer,
// reaching it and hearing it within boundMs together, however many copies already wait in its
// queue. False when no running copy could be reached or it did not answer in time (it may still
// be busy and show the window later).
bool AskToShow(const std::string& name, int boundMs);

}  // namespace tolvane
