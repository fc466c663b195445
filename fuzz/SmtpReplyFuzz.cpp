// The whole SMTP dialogue against any server bytes, fed through a socket pair. The first byte
// chooses the number of recipients, whether the server closes the connection after its
// bytes or stays silent (rarely: each silent reply costs its whole wait), and (its top bit)
// whether the bytes come through a TLS session with AUTH asked: then they reach the EHLO
// capabilities and the AUTH exchanges (PLAIN, or LOGIN's 334 challenges).

#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <signal.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "fuzz/FuzzSupport.h"
#include "mail/SmtpClient.h"
#include "os/Socket.h"

namespace tolvane::fuzz {
namespace {

constexpr std::size_t kMaxServerBytes = 65536;  // well within a socket pair's buffer

MailLimits Limits() {
    MailLimits limits;
    limits.replyTimeout = std::chrono::milliseconds(5);
    limits.sendTimeout = std::chrono::milliseconds(1000);
    limits.maxLineBytes = 512;
    limits.maxReplyLines = 16;
    return limits;
}

// The server's bytes read as the dialogue must read them: a reply is lines up to the first
// whose fourth character is a blank, each line at most maxLineBytes long with its LF, at most
// maxReplyLines lines; what does not arrive counts as no reply.
class Server {
public:
    Server(std::string_view bytes, const MailLimits& limits) : bytes_(bytes), limits_(limits) {}

    enum class Reply { Accepted, Refused, Missing };

    Reply Next(std::string_view code) {
        for (std::size_t n = 0; n < limits_.maxReplyLines; ++n) {
            std::string_view line;
            if (!NextLine(line)) {
                return Reply::Missing;
            }
            if (line.size() >= 4 && line[3] == ' ') {
                if (line.substr(0, 3) == code) {
                    return Reply::Accepted;
                }
                // The reason is the line as a C string without its CR and LF: nothing when
                // these are all that stand before a zero byte.
                silentRefusal_ = line.substr(0, line.find('\0')).find_first_not_of("\r\n") ==
                                 std::string_view::npos;
                return Reply::Refused;
            }
        }
        silentRefusal_ = false;
        return Reply::Missing;
    }

    // Whether the last failed step leaves no reason.
    bool SilentRefusal() const { return silentRefusal_; }

private:
    bool NextLine(std::string_view& line) {
        const auto lf = bytes_.find('\n', at_);
        const std::size_t length =
            lf == std::string_view::npos ? bytes_.size() - at_ : lf - at_ + 1;
        if (length > limits_.maxLineBytes) {
            at_ += limits_.maxLineBytes;  // the reader gives up there, mid-line
            return false;
        }
        if (lf == std::string_view::npos) {
            at_ = bytes_.size();
            return false;
        }
        line = bytes_.substr(at_, length);
        at_ = lf + 1;
        return true;
    }

    std::string_view bytes_;
    std::size_t at_ = 0;
    const MailLimits& limits_;
    bool silentRefusal_ = false;
};

// Whether the dialogue must succeed: the steps of the session with their expected codes.
bool ExpectedResult(Server& server, std::size_t recipients) {
    using Reply = Server::Reply;
    if (server.Next("220") != Reply::Accepted) {
        return false;
    }
    if (server.Next("250") != Reply::Accepted && server.Next("250") != Reply::Accepted) {
        return false;  // EHLO, then HELO
    }
    for (std::size_t step = 0; step < 2 + recipients; ++step) {  // RSET, MAIL, each RCPT
        if (server.Next("250") != Reply::Accepted) {
            return false;
        }
    }
    return server.Next("354") == Reply::Accepted && server.Next("250") == Reply::Accepted &&
           server.Next("221") == Reply::Accepted;
}

constexpr const char* kPassword = "fuzz-Pa55word";

// A self-signed server of its own, made once: the client takes any certificate here.
SSL_CTX* ServerContext() {
    static SSL_CTX* const context = [] {
        EVP_PKEY* key = EVP_EC_gen("P-256");
        X509* certificate = X509_new();
        Require(key != nullptr && certificate != nullptr, "a key and a certificate");
        X509_set_version(certificate, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
        X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
        X509_gmtime_adj(X509_getm_notAfter(certificate), 3600);
        X509_set_pubkey(certificate, key);
        X509_NAME* name = X509_get_subject_name(certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
        X509_set_issuer_name(certificate, name);
        Require(X509_sign(certificate, key, EVP_sha256()) > 0, "a signed certificate");
        SSL_CTX* made = SSL_CTX_new(TLS_server_method());
        Require(made != nullptr && SSL_CTX_use_certificate(made, certificate) == 1 &&
                    SSL_CTX_use_PrivateKey(made, key) == 1,
                "a server context");
        X509_free(certificate);
        EVP_PKEY_free(key);
        return made;
    }();
    return context;
}

// The server's side of a TLS dialogue: the handshake, the bytes, then (unless silent) its end,
// and whatever the client says read until it closes.
void ServeTls(int fd, std::string_view bytes, bool silent) {
    SSL* ssl = SSL_new(ServerContext());
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) == 1) {
        if (bytes.empty() || SSL_write(ssl, bytes.data(), static_cast<int>(bytes.size())) > 0) {
            if (!silent) {
                SSL_shutdown(ssl);
                ::shutdown(fd, SHUT_WR);
            }
        }
        char drain[4096];
        while (SSL_read(ssl, drain, sizeof drain) > 0) {
        }
    }
    SSL_free(ssl);
}

}  // namespace
}  // namespace tolvane::fuzz

namespace tolvane::fuzz {
namespace {

int FuzzTls(Socket server, Socket client, std::string_view bytes, bool silent,
            std::size_t recipientCount) {
    std::thread serving(ServeTls, static_cast<int>(server.Fd()), bytes, silent);
    MailSecurity security;
    security.SmtpSecurity = "tls";
    security.SmtpVerify = "none";
    security.SmtpUser = "me@example.org";
    security.SmtpPassword = kPassword;
    const MailLimits limits = Limits();
    const std::vector<std::string> recipients(recipientCount, "RCPT TO: <you@example.org>");
    int sent = 0;
    std::string reason;
    {
        SmtpClient session(limits, security);
        sent = session.SendOver(std::move(client), "MAIL FROM: <me@example.org>", recipients,
                                "Body");
        reason = session.LastError;
    }  // the client's end closes here, and the server's reading with it
    serving.join();
    Require(std::none_of(reason.begin(), reason.end(),
                         [](char c) {
                             const auto byte = static_cast<unsigned char>(c);
                             return byte < 0x20 || byte == 0x7F;
                         }),
            "the reason is one line without control bytes");
    Require(reason.find(kPassword) == std::string::npos ||
                bytes.find(kPassword) != std::string_view::npos,
            "the password never in a reason the server did not write");
    Require(sent == 0 || bytes.find("\n235 ") != std::string_view::npos ||
                bytes.rfind("235 ", 0) == 0,
            "no mail without an accepted AUTH");
    return 0;
}

}  // namespace
}  // namespace tolvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tolvane;
    using namespace tolvane::fuzz;
    if (size == 0 || size > kMaxServerBytes) {
        return 0;
    }
    const bool silent = (data[0] & 0x0F) == 0x0F;
    const std::size_t recipientCount = (data[0] >> 4) % 4;
    const bool tls = (data[0] & 0x80) != 0;
    const std::string_view bytes = Bytes(data + 1, size - 1);

    int ends[2];
    Require(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0, "a socket pair");
    Socket server(ends[1]);
    if (tls) {
        ::signal(SIGPIPE, SIG_IGN);  // the server's writes to a client that has gone
        return FuzzTls(std::move(server), Socket(ends[0]), bytes, silent, recipientCount);
    }
    Require(::send(server.Fd(), bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL) ==
                static_cast<ssize_t>(bytes.size()),
            "the server's bytes fit the pair's buffer");
    if (!silent) {
        ::shutdown(server.Fd(), SHUT_WR);
    }

    const MailLimits limits = Limits();
    const std::vector<std::string> recipients(recipientCount, "RCPT TO: <you@example.org>");
    SmtpClient client(limits);
    const auto start = std::chrono::steady_clock::now();
    const int sent =
        client.SendOver(Socket(ends[0]), "MAIL FROM: <me@example.org>", recipients, "Body");
    const auto elapsed = std::chrono::steady_clock::now() - start;

    Server model(bytes, limits);
    Require(sent == (ExpectedResult(model, recipientCount) ? 1 : 0),
            "success exactly when every step got its proper final code");
    Require(std::none_of(client.LastError.begin(), client.LastError.end(),
                         [](char c) {
                             const auto byte = static_cast<unsigned char>(c);
                             return byte < 0x20 || byte == 0x7F;
                         }),
            "the reason is one line without control bytes");
    Require(client.LastError.size() <= limits.maxLineBytes, "the reason within its bound");
    Require(sent == 1 || !client.LastError.empty() || model.SilentRefusal(),
            "a failure has a reason");
    // At most two replies can be waited for (EHLO, then HELO); the rest is slack for a loaded
    // machine.
    Require(elapsed < 2 * limits.replyTimeout + std::chrono::seconds(5),
            "the dialogue ends within its bounds");
    return 0;
}
