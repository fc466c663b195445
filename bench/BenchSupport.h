#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <thread>

namespace tolvane::bench {

// Accepts and closes connections on its own thread, so that checks succeed. It listens on every
// local address because the programs probe the machine's own name, wherever that leads.
class AcceptingListener {
public:
    AcceptingListener();
    AcceptingListener(const AcceptingListener&) = delete;
    AcceptingListener& operator=(const AcceptingListener&) = delete;
    ~AcceptingListener();
    std::uint16_t Port() const { return port_; }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

// CPU seconds (user + system) the process has used so far, to the nanosecond where the system
// keeps it so; -1 when unreadable.
double ProcessCpuSeconds(pid_t pid);

// A field of /proc/PID/status such as VmRSS or VmHWM, in kB; -1 when unreadable.
long ProcStatusKb(pid_t pid, const std::string& field);

}  // namespace tolvane::bench
