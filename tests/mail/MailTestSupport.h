#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "os/Process.h"
#include "tests/support/PosixSupport.h"
#include "tests/support/TestSupport.h"

namespace tolvane::test {

// Debian's aiosmtpd, started through /usr/bin/python3 on a free loopback port; stopped by
// the destructor. `options` are smtp_sink.py's (--starttls CERT, --auth USER:PASS, ...).
class SmtpSink {
public:
    explicit SmtpSink(const std::vector<std::string>& options = {});
    SmtpSink(const SmtpSink&) = delete;
    SmtpSink& operator=(const SmtpSink&) = delete;
    ~SmtpSink();

    bool Running() const { return port_ != 0; }
    const std::string& StartError() const { return error_; }
    std::uint16_t Port() const { return port_; }
    void Stop();

    std::size_t Count() const;
    std::vector<ReceivedMail> Messages() const;
    // Waits until at least n messages are complete; false when they did not come in time.
    bool WaitForMessages(std::size_t n, std::chrono::seconds limit) const;

private:
    TempDir dir_;
    TestChild server_;
    std::uint16_t port_ = 0;
    std::string error_;
};

// One end of a scripted server's connection.
class Peer {
public:
    explicit Peer(int fd) : fd_(fd) {}
    void Send(const std::string& bytes);
    // The next line with its line end; empty when the client closed or nothing came in time.
    std::string ReadLine(std::chrono::milliseconds limit = std::chrono::milliseconds(10000));
    // Everything up to and including the data's closing ".", CR LF, recorded as one entry.
    std::string ReadData(std::chrono::milliseconds limit = std::chrono::milliseconds(10000));
    // True when nothing at all arrives within the time.
    bool QuietFor(std::chrono::milliseconds time);
    void Close();
    std::vector<std::string> received;  // every line read, in order

private:
    std::string ReadRawLine(std::chrono::milliseconds limit);
    int fd_;
};

// A loopback server for what a real server will not do: accepts one connection and plays the
// script on its own thread.
class ScriptedServer {
public:
    explicit ScriptedServer(std::function<void(Peer&)> script);
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;
    ~ScriptedServer();

    std::uint16_t Port() const { return listener_.Port(); }
    // Waits for the script to end and gives every line the client sent.
    std::vector<std::string> Received();

private:
    LoopbackOnlyListener listener_;
    std::vector<std::string> received_;
    std::thread thread_;
};

// The usual well-behaved replies of a scripted server, from the greeting to QUIT.
void PlayAcceptingServer(Peer& peer);

std::string Cp932(const std::string& utf8);
std::string Utf8(const std::string& cp932);
// ISO-2022-JP bytes to UTF-8 through glibc iconv; "<invalid>" when iconv refuses them.
std::string JisToUtf8(const std::string& jis);
std::string Base64Decode(const std::string& text);
// Every "=?ISO-2022-JP?B?...?=" of a header value decoded and joined, as a reader does.
std::string DecodeSubject(const std::string& value);

}  // namespace tolvane::test
