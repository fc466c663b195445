#include "tests/mail/MailTestSupport.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "os/CodePage.h"

namespace tolvane::test {

SmtpSink::SmtpSink(const std::vector<std::string>& options) {
    const std::string portFile = dir_.File("port");
    std::vector<std::string> command{"/usr/bin/python3", TOLVANE_MAIL_TEST_DIR "/smtp_sink.py"};
    command.insert(command.end(), options.begin(), options.end());
    command.push_back(dir_.Path());
    command.push_back(portFile);
    if (!server_.Start(command)) {
        error_ = "/usr/bin/python3 cannot be started";
        return;
    }
    const bool ready =
        WaitUntil([&] { return !ReadFile(portFile).empty() || !server_.Poll().running; },
                  std::chrono::seconds(30));
    const std::string port = ReadFile(portFile);
    if (!ready || port.empty()) {
        error_ = "the aiosmtpd server did not start; is Debian's python3-aiosmtpd installed?";
        Stop();
        return;
    }
    port_ = static_cast<std::uint16_t>(std::atoi(port.c_str()));
}

SmtpSink::~SmtpSink() {
    Stop();
}

void SmtpSink::Stop() {
    server_.End();
}

std::size_t SmtpSink::Count() const {
    return CountReceivedMails(dir_.Path());
}

std::vector<ReceivedMail> SmtpSink::Messages() const {
    return ReadReceivedMails(dir_.Path());
}

bool SmtpSink::WaitForMessages(std::size_t n, std::chrono::seconds limit) const {
    return WaitUntil([&] { return Count() >= n; }, limit);
}

void Peer::Send(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        sent += static_cast<std::size_t>(n);
    }
}

std::string Peer::ReadLine(std::chrono::milliseconds limit) {
    std::string line = ReadRawLine(limit);
    if (!line.empty()) {
        received.push_back(line);
    }
    return line;
}

std::string Peer::ReadRawLine(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    std::string line;
    while (line.empty() || line.back() != '\n') {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd waiting{fd_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&waiting, 1, static_cast<int>(left.count())) != 1) {
            return {};
        }
        char c;
        if (::recv(fd_, &c, 1, 0) != 1) {
            return {};
        }
        line += c;
    }
    return line;
}

std::string Peer::ReadData(std::chrono::milliseconds limit) {
    std::string data;
    while (true) {
        const std::string line = ReadRawLine(limit);
        data += line;
        if (line.empty() || line == ".\r\n") {
            received.push_back(data);
            return data;
        }
    }
}

bool Peer::QuietFor(std::chrono::milliseconds time) {
    pollfd waiting{fd_, POLLIN, 0};
    return ::poll(&waiting, 1, static_cast<int>(time.count())) == 0;
}

void Peer::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

ScriptedServer::ScriptedServer(std::function<void(Peer&)> script) {
    thread_ = std::thread([this, script = std::move(script)] {
        const int fd = listener_.Accept(20000);
        if (fd < 0) {
            return;
        }
        Peer peer(fd);
        script(peer);
        peer.Close();
        received_ = peer.received;
    });
}

ScriptedServer::~ScriptedServer() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::vector<std::string> ScriptedServer::Received() {
    if (thread_.joinable()) {
        thread_.join();
    }
    return received_;
}

void PlayAcceptingServer(Peer& peer) {
    peer.Send("220 scripted ESMTP\r\n");
    while (true) {
        const std::string line = peer.ReadLine();
        if (line.empty()) {
            return;
        }
        if (line.rfind("DATA", 0) == 0) {
            peer.Send("354 go ahead\r\n");
            peer.ReadData();
            peer.Send("250 queued\r\n");
        } else if (line.rfind("QUIT", 0) == 0) {
            peer.Send("221 bye\r\n");
            return;
        } else {
            peer.Send("250 ok\r\n");
        }
    }
}

std::string Cp932(const std::string& utf8) {
    return Sjis(utf8);
}

std::string Utf8(const std::string& cp932) {
    return Cp932ToUtf8(cp932);
}

std::string JisToUtf8(const std::string& jis) {
    std::string out;
    return ConvertCharset(jis, "ISO-2022-JP", "UTF-8", out) ? out : "<invalid>";
}

std::string Base64Decode(const std::string& text) {
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        const auto at = alphabet.find(c);
        if (at == std::string::npos) {
            continue;
        }
        bits = bits << 6 | static_cast<unsigned>(at);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>(bits >> count & 0xFF);
        }
    }
    return out;
}

std::string DecodeSubject(const std::string& value) {
    const std::string open = "=?ISO-2022-JP?B?";
    std::string out;
    for (auto at = value.find(open); at != std::string::npos; at = value.find(open, at)) {
        at += open.size();
        const auto end = value.find("?=", at);
        out += JisToUtf8(Base64Decode(value.substr(at, end - at)));
        at = end;
    }
    return out;
}

}  // namespace tolvane::test
