#pragma once

#include <cstdint>
#include <string>

namespace tolvane::test {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it by the destructor.
class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();
    const std::string& Path() const { return path_; }  // without a trailing "/"
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A TCP listener on 127.0.0.1 with a port chosen by the system, closed by the destructor.
class LoopbackListener {
public:
    LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;
    ~LoopbackListener();
    std::uint16_t Port() const { return port_; }
    int Fd() const { return fd_; }
    // Accepts one connection within the timeout; -1 when none came.
    int Accept(int timeoutMs);

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

// A loopback port on which nothing listens (bound, then released).
std::uint16_t UnusedLoopbackPort();

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);

}  // namespace tolvane::test
