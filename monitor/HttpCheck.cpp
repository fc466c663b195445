#include "monitor/HttpCheck.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <string_view>

#include "monitor/PortProbe.h"
#include "os/Clock.h"
#include "os/SocketIo.h"
#include "text/Cp932.h"

namespace tolvane {

namespace {

using std::chrono::steady_clock;

// Bounds of what is kept of a response, whatever the server sends.
constexpr std::size_t kHeadLimit = 64 * 1024;  // status lines and headers together
constexpr std::size_t kBodyLimit = 64 * 1024;  // what CheckText is looked for in
constexpr std::size_t kChunkLineLimit = 4096;  // a chunk's size line with its extensions
constexpr std::size_t kReceiveBytes = 16 * 1024;

// What HTTP allows around a field's value and a chunk's size.
constexpr std::string_view kFieldBlanks = " \t";

constexpr const char* kTimedOut = "timed out";
constexpr const char* kClosedEarly = "closed early";
constexpr const char* kMalformed = "malformed response";
constexpr const char* kTextMissing = "text missing";

// A failed step's reason; nothing while the check goes on.
using Failure = std::optional<std::string>;

bool IsRequestText(std::string_view text) {
    return !text.empty() && std::none_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7F;
    });
}

}  // namespace

std::string CheckRequest(const CheckTarget& target) {
    std::string host = target.hostHeader;
    if (host.empty()) {
        const std::uint32_t port = target.port & 0xFFFF;
        const std::uint32_t usual = target.tls ? 443 : 80;
        host = port == usual ? target.host : target.host + ":" + std::to_string(port);
    }
    return "GET " + target.path + " HTTP/1.1\r\nHost: " + host +
           "\r\nUser-Agent: IIS-Tolvane/" TOLVANE_VERSION "\r\nConnection: close\r\n\r\n";
}

namespace {

// Where the exchange's bytes travel: the socket itself, or the TLS session over it.
struct Channel {
    Socket& socket;
    TlsStream* tls = nullptr;

    IoStatus Send(std::string_view bytes, Deadline deadline) const {
        return tls != nullptr ? tls->SendAll(bytes, deadline, nullptr)
                              : SendAllBefore(socket, bytes, deadline);
    }
    IoStatus Receive(char* buffer, std::size_t capacity, std::size_t& received,
                     Deadline deadline) const {
        return tls != nullptr ? tls->ReceiveSome(buffer, capacity, received, deadline, nullptr)
                              : ReceiveSomeBefore(socket, buffer, capacity, received, deadline);
    }
};

// The response as it arrives: the bytes received and not yet taken, refilled from the channel.
class Incoming {
public:
    Incoming(const Channel& channel, Deadline deadline) : channel_(channel), deadline_(deadline) {}

    std::string_view Pending() const { return std::string_view(data_).substr(taken_); }
    void Take(std::size_t n) { taken_ += n; }

    // Receives more behind what is pending; the reason when nothing more can come.
    Failure More() {
        data_.erase(0, taken_);
        taken_ = 0;
        std::size_t received = 0;
        const IoStatus status = channel_.Receive(chunk_.data(), chunk_.size(), received, deadline_);
        data_.append(chunk_.data(), received);
        switch (status) {
            case IoStatus::Done:
                return std::nullopt;
            case IoStatus::Closed:
                closed_ = true;
                return kClosedEarly;
            case IoStatus::TimedOut:
                return kTimedOut;
            case IoStatus::Failed:
                break;
        }
        return "receive failed";
    }
    bool Closed() const { return closed_; }

    // The next line without its line end (LF, or CR LF), taken; nothing but the reason when
    // it does not come within the limit.
    Failure Line(std::string& line, std::size_t limit) {
        while (true) {
            const auto view = Pending();
            const auto end = view.find('\n');
            if (end != std::string_view::npos && end < limit) {
                line.assign(view.substr(0, end > 0 && view[end - 1] == '\r' ? end - 1 : end));
                Take(end + 1);
                return std::nullopt;
            }
            if (view.size() >= limit) {
                return kMalformed;
            }
            if (auto failure = More()) {
                return failure;
            }
        }
    }

private:
    const Channel& channel_;
    Deadline deadline_;
    std::array<char, kReceiveBytes> chunk_;
    std::string data_;
    std::size_t taken_ = 0;
    bool closed_ = false;
};

// What the check needs of a response's head.
struct Head {
    std::uint32_t status = 0;
    bool chunked = false;
    bool lengthKnown = false;
    bool lengthValid = true;
    std::uint64_t length = 0;
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "HTTP/1.1 200 OK": the version, a blank, three digits, then a blank or the end.
std::optional<std::uint32_t> StatusOf(std::string_view line) {
    if (line.size() < 12 || line.substr(0, 5) != "HTTP/" || !IsDigit(line[5]) || line[6] != '.' ||
        !IsDigit(line[7]) || line[8] != ' ' || !IsDigit(line[9]) || !IsDigit(line[10]) ||
        !IsDigit(line[11]) || (line.size() > 12 && line[12] != ' ')) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>((line[9] - '0') * 100 + (line[10] - '0') * 10 +
                                      (line[11] - '0'));
}

void ReadField(std::string_view line, Head& head) {
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) {
        return;  // not a field this check needs; browsers pass over such lines too
    }
    const auto name = TrimmedView(line.substr(0, colon), kFieldBlanks);
    const auto value = TrimmedView(line.substr(colon + 1), kFieldBlanks);
    if (SameIgnoringAsciiCase(name, "Transfer-Encoding")) {
        // Chunked is always the last coding when it is there at all.
        const auto comma = value.rfind(',');
        head.chunked = SameIgnoringAsciiCase(
            TrimmedView(comma == std::string_view::npos ? value : value.substr(comma + 1),
                        kFieldBlanks),
            "chunked");
    } else if (SameIgnoringAsciiCase(name, "Content-Length")) {
        std::uint64_t length = 0;
        bool valid = !value.empty() && value.size() <= 18;
        for (const char c : value) {
            valid = valid && IsDigit(c);
            length = length * 10 + static_cast<std::uint64_t>(c - '0');
        }
        head.lengthValid =
            head.lengthValid && valid && (!head.lengthKnown || head.length == length);
        head.lengthKnown = true;
        head.length = length;
    }
}

// Reads one response head within the budget of head bytes, which it lessens. A server's
// first bytes that cannot begin a status line fail at once, without waiting for more.
Failure ReadHead(Incoming& in, std::size_t& budget, Head& head) {
    constexpr std::string_view kVersion = "HTTP/";
    for (std::size_t scanned = 0;;) {
        const auto view = in.Pending();
        const auto start = view.substr(0, std::min(view.size(), kVersion.size()));
        if (start != kVersion.substr(0, start.size())) {
            return kMalformed;
        }
        // The blank line ends the head: LF LF, or CR LF CR LF as servers send it.
        std::size_t end = std::string_view::npos;
        for (std::size_t at = scanned > 2 ? scanned - 2 : 0; at < view.size(); ++at) {
            at = view.find('\n', at);
            if (at == std::string_view::npos) {
                break;
            }
            if (at + 1 < view.size() && view[at + 1] == '\n') {
                end = at + 2;
                break;
            }
            if (at + 2 < view.size() && view[at + 1] == '\r' && view[at + 2] == '\n') {
                end = at + 3;
                break;
            }
        }
        if (end != std::string_view::npos ? end > budget : view.size() >= budget) {
            return "headers too large";
        }
        if (end != std::string_view::npos) {
            budget -= end;
            const auto text = view.substr(0, end);
            const auto firstEnd = text.find('\n');
            auto first = text.substr(0, firstEnd);
            if (!first.empty() && first.back() == '\r') {
                first.remove_suffix(1);
            }
            const auto status = StatusOf(first);
            if (!status) {
                return kMalformed;
            }
            head = Head{};
            head.status = *status;
            for (std::size_t at = firstEnd + 1; at < text.size();) {
                const auto lineEnd = text.find('\n', at);
                auto line = text.substr(at, lineEnd - at);
                if (!line.empty() && line.back() == '\r') {
                    line.remove_suffix(1);
                }
                ReadField(line, head);
                at = lineEnd + 1;
            }
            in.Take(end);
            return std::nullopt;
        }
        scanned = view.size();
        if (auto failure = in.More()) {
            return failure;
        }
    }
}

// The body's first bytes, up to the limit, with the text looked for as they come.
class BodySearch {
public:
    explicit BodySearch(std::string_view text) : text_(text) {}

    // True once the search is over: the text found, or the limit reached.
    bool Add(std::string_view bytes) {
        const std::size_t from = body_.size() >= text_.size() ? body_.size() - text_.size() + 1 : 0;
        body_.append(bytes.substr(0, kBodyLimit - body_.size()));
        found_ = body_.find(text_, from) != std::string::npos;
        return found_ || body_.size() >= kBodyLimit;
    }
    bool Found() const { return found_; }

private:
    std::string_view text_;
    std::string body_;
    bool found_ = false;
};

// Passes `length` body bytes to the search as they come; true when the search ended first.
Failure ReadExactly(Incoming& in, std::uint64_t length, BodySearch& search, bool& over) {
    while (length > 0) {
        if (in.Pending().empty()) {
            if (auto failure = in.More()) {
                return failure;
            }
        }
        const auto part =
            in.Pending().substr(0, std::min<std::uint64_t>(length, in.Pending().size()));
        in.Take(part.size());
        length -= part.size();
        if (search.Add(part)) {
            over = true;
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// "1a3;name=value": the hexadecimal size before any extension.
std::optional<std::uint64_t> ChunkSize(std::string_view line) {
    const auto digits = TrimmedView(line.substr(0, line.find(';')), kFieldBlanks);
    if (digits.empty() || digits.size() > 15) {
        return std::nullopt;
    }
    std::uint64_t size = 0;
    for (const char c : digits) {
        const int value = IsDigit(c)             ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (value < 0) {
            return std::nullopt;
        }
        size = size * 16 + static_cast<std::uint64_t>(value);
    }
    return size;
}

Failure ReadChunked(Incoming& in, BodySearch& search) {
    std::string line;
    while (true) {
        if (auto failure = in.Line(line, kChunkLineLimit)) {
            return failure;
        }
        const auto size = ChunkSize(line);
        if (!size) {
            return kMalformed;
        }
        if (*size == 0) {
            return std::nullopt;  // the last chunk; trailers are not needed
        }
        bool over = false;
        if (auto failure = ReadExactly(in, *size, search, over)) {
            return failure;
        }
        if (over) {
            return std::nullopt;
        }
        if (auto failure = in.Line(line, kChunkLineLimit)) {
            return failure;
        }
        if (!line.empty()) {
            return kMalformed;
        }
    }
}

Failure ReadToClose(Incoming& in, BodySearch& search) {
    while (!search.Add(in.Pending())) {
        in.Take(in.Pending().size());
        if (auto failure = in.More()) {
            return in.Closed() ? std::nullopt : failure;
        }
    }
    return std::nullopt;
}

// Looks for the text in the body, read only as far as the search needs.
Failure SearchBody(Incoming& in, const Head& head, const std::string& text) {
    BodySearch search(text);
    const bool bodiless = head.status == 204 || head.status == 304;
    Failure failure;
    if (bodiless) {
        failure = std::nullopt;
    } else if (head.chunked) {
        failure = ReadChunked(in, search);
    } else if (head.lengthKnown) {
        bool over = false;
        failure = head.lengthValid ? ReadExactly(in, head.length, search, over) : kMalformed;
    } else {
        failure = ReadToClose(in, search);
    }
    if (search.Found()) {
        return std::nullopt;
    }
    if (failure) {
        return failure;
    }
    return kTextMissing;
}

Failure Exchange(const CheckTarget& target, const Channel& channel, Deadline deadline,
                 std::uint32_t& status) {
    switch (channel.Send(CheckRequest(target), deadline)) {
        case IoStatus::Done:
            break;
        case IoStatus::TimedOut:
            return kTimedOut;
        default:
            return "send failed";
    }
    Incoming in(channel, deadline);
    std::size_t budget = kHeadLimit;
    Head head;
    do {
        // Interim answers (100 Continue, 103 Early Hints) come before the real one.
        if (auto failure = ReadHead(in, budget, head)) {
            return failure;
        }
    } while (head.status >= 100 && head.status < 200 && head.status != 101);
    status = head.status;
    if (!StatusAccepted(target.accepted, head.status)) {
        return "status " + std::to_string(head.status);
    }
    return target.text.empty() ? std::nullopt : SearchBody(in, head, target.text);
}

// The name the certificate must carry: the one set, else the Host header's without its port,
// else the name probed.
TlsPeer PeerOf(const CheckTarget& target) {
    TlsPeer peer = target.tlsPeer;
    if (peer.host.empty()) {
        std::string_view name = target.hostHeader;
        const auto colon = name.find(':');
        if (colon != std::string_view::npos && colon == name.rfind(':') &&
            std::all_of(name.begin() + colon + 1, name.end(), IsDigit)) {
            name = name.substr(0, colon);
        }
        peer.host = name.empty() ? target.host : std::string(name);
    }
    return peer;
}

// After the connect: the handshake when the target asks for TLS, then the exchange when it has
// a path.
Failure OverConnection(const CheckTarget& target, Socket& socket, Deadline deadline,
                       std::uint32_t& status) {
    std::unique_ptr<TlsStream> tls;
    if (target.tls) {
        const TlsPeer peer = PeerOf(target);
        TlsOpening opening = OpenTls(socket, peer, deadline);
        if (!opening.stream) {
            return opening.Reason(peer);
        }
        tls = std::move(opening.stream);
    }
    if (target.path.empty()) {
        return std::nullopt;
    }
    return Exchange(target, Channel{socket, tls.get()}, deadline, status);
}

}  // namespace

CheckResult RunCheck(const CheckTarget& target, Socket& socket, Resolver resolve) {
    const auto start = steady_clock::now();
    CheckResult result;
    Failure failure;
    const bool http = !target.path.empty();
    // The plain connect has only the system's own connect timeout; the other checks their own.
    const bool bounded = http || target.tls;
    const Deadline deadline = start + std::chrono::seconds(target.timeoutSeconds);
    if (http && (!IsCheckPath(target.path) ||
                 (!target.hostHeader.empty() && !IsRequestText(target.hostHeader)))) {
        // Nothing that could split the request into other lines is sent.
        failure = "invalid request";
    } else {
        switch (ProbePort(target.host, target.port, socket, resolve,
                          bounded ? std::optional<Deadline>(deadline) : std::nullopt)) {
            case ProbeOutcome::Connected:
                failure = OverConnection(target, socket, deadline, result.httpStatus);
                break;
            case ProbeOutcome::NoAddress:
                failure = "no address";
                break;
            case ProbeOutcome::NotConnected:
                failure = bounded && steady_clock::now() >= deadline ? kTimedOut : "refused";
                break;
        }
    }
    result.ok = !failure;
    result.reason = failure.value_or("");
    result.durationMs = MillisecondsSince(start);
    return result;
}

}  // namespace tolvane
