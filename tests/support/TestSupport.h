#pragma once

#include <bit>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "os/Socket.h"

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

// A TCP listener with a port chosen by the system, closed by the destructor. By default it
// listens where the machine's own name leads (127.0.1.1 on a machine set up by Debian's
// installer), since that is where the program's probe goes; a test that connects to 127.0.0.1
// itself takes LoopbackOnlyListener.
class Listener {
public:
    // A name that does not resolve fails the test saying so; it then listens on 127.0.0.1.
    Listener();
    explicit Listener(IPv4Address address);
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    ~Listener();
    std::uint16_t Port() const { return port_; }
    int Fd() const { return fd_; }
    // Accepts one connection within the timeout; -1 when none came.
    int Accept(int timeoutMs);

private:
    int fd_ = -1;  // the socket; on Windows its SOCKET value
    std::uint16_t port_ = 0;
};

// 127.0.0.1.
constexpr IPv4Address kLoopbackAddress{std::endian::native == std::endian::little ? 0x0100007Fu
                                                                                  : 0x7F000001u};

// A listener on 127.0.0.1 only, for a test that names that address itself.
class LoopbackOnlyListener : public Listener {
public:
    LoopbackOnlyListener() : Listener(kLoopbackAddress) {}
};

// A loopback port on which nothing listens (bound, then released).
std::uint16_t UnusedLoopbackPort();

// A name lookup that asks no server: dotted IPv4 texts and "localhost" resolve, every other
// name does not. The tests' resolver, so that not even a DNS query leaves the machine.
std::optional<IPv4Address> ResolveLocally(const std::string& host);

// For a connection taken by Accept: true while it is open and nothing has arrived on it.
bool OpenAndSilent(int connection);

// Whether the socket is connected to a peer.
bool HasPeer(const Socket& socket);

// For a connection taken by Accept: true when the peer closed it without sending a byte
// (waiting up to the time given); the connection is closed afterwards.
bool EndsWithoutData(int connection, int timeoutMs);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);

// One message as the real SMTP server (tests/mail/smtp_sink.py) received it.
struct ReceivedMail {
    std::string from;
    std::vector<std::string> recipients;
    std::string raw;      // the message as received, dots unstuffed
    std::string subject;  // UTF-8, decoded by Python's email package
    std::string body;     // UTF-8, decoded likewise
    std::string session;  // "tls=0|1\nauth=MECHANISM|-\nuser=NAME|-\n"
};
// The complete messages in the server's folder, in the order they came.
std::size_t CountReceivedMails(const std::string& folder);
std::vector<ReceivedMail> ReadReceivedMails(const std::string& folder);

// The text quoted for sh.
std::string ShellQuote(const std::string& text);

// How often part occurs in text (overlaps counted).
std::size_t CountOf(const std::string& text, const std::string& part);

template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

// Gives this test process and the programs it starts a single-instance marker of their own
// ($TOLVANE_TEST_INSTANCE, named after the process), so that a copy running on the machine or
// in another test never stands in the way. The marker's name.
std::string UsePrivateInstanceMarker();

struct RunResult {
    int exitCode;
    std::string out;
    std::string err;
};

// A private install: executables copied from binDir into a temporary folder, so the restart
// log and the services map sit beside them there, and a private settings store
// (TOLVANE_REGISTRY points into the folder).
class PrivateInstall {
public:
    PrivateInstall(const std::string& binDir, std::initializer_list<const char*> executables);

    std::string Bin(const std::string& name) const { return dir.File(name); }
    std::string Store() const { return dir.File("store/HKEY_CLASSES_ROOT.reg"); }
    std::string LogPath() const { return dir.File("TOLVREBOOT.LOG"); }

    // A sh command line running tolvanectl with the arguments in the C.UTF-8 locale, its
    // output going to the files "out" and "err" of the folder.
    std::string Command(const std::vector<std::string>& args) const;
    RunResult Run(const std::vector<std::string>& args) const;

    TempDir dir;
};

}  // namespace tolvane::test
