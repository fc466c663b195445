#include "os/TlsStream.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>

#include "os/SocketIo.posix.h"

namespace tolvane {

namespace {

// The socket as OpenSSL sees it: never blocking (the waits are ours, with their deadlines and
// serving), never SIGPIPE. The socket itself stays blocking, as the plain calls leave it.
struct SocketEnd {
    int fd = -1;
    bool ended = false;  // the peer closed its side (recv gave 0)
};

int SocketWrite(BIO* bio, const char* data, int length) {
    auto* end = static_cast<SocketEnd*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    while (true) {
        const ssize_t n =
            ::send(end->fd, data, static_cast<std::size_t>(length), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0) {
            return static_cast<int>(n);
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            BIO_set_retry_write(bio);
        }
        return -1;
    }
}

int SocketRead(BIO* bio, char* data, int length) {
    auto* end = static_cast<SocketEnd*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    while (true) {
        const ssize_t n = ::recv(end->fd, data, static_cast<std::size_t>(length), MSG_DONTWAIT);
        if (n > 0) {
            return static_cast<int>(n);
        }
        if (n == 0) {
            end->ended = true;
            return 0;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            BIO_set_retry_read(bio);
        }
        return -1;
    }
}

long SocketControl(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int SocketCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

const BIO_METHOD* SocketMethod() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "tolvane");
        BIO_meth_set_write(made, SocketWrite);
        BIO_meth_set_read(made, SocketRead);
        BIO_meth_set_ctrl(made, SocketControl);
        BIO_meth_set_create(made, SocketCreate);
        return made;
    }();
    return method;
}

// OpenSSL's last reason, short, and the error queue emptied for the next call.
std::string LastError() {
    const unsigned long code = ERR_peek_last_error();
    const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
    ERR_clear_error();
    return reason != nullptr ? reason : "";
}

std::string Hex(const unsigned char* bytes, unsigned length) {
    std::string hex;
    char pair[3];
    for (unsigned i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        hex += pair;
    }
    return hex;
}

class OpenSslStream final : public TlsStream {
public:
    explicit OpenSslStream(int fd) : end_{fd} {}
    OpenSslStream(const OpenSslStream&) = delete;
    OpenSslStream& operator=(const OpenSslStream&) = delete;

    ~OpenSslStream() override {
        if (ssl_ != nullptr) {
            if (open_) {
                SSL_shutdown(ssl_);  // close_notify if the socket takes it now; never waits
            }
            SSL_free(ssl_);
        }
        if (context_ != nullptr) {
            SSL_CTX_free(context_);
        }
        ERR_clear_error();
    }

    // Context, session and the socket's BIO; false with the reason in `detail`.
    bool Prepare(const TlsPeer& peer, std::string& detail) {
        context_ = SSL_CTX_new(TLS_client_method());
        // The trusted roots only where they are asked: loading the system's store costs some
        // 20 ms of CPU, every handshake.
        if (context_ == nullptr || !SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION) ||
            (peer.verify == TlsVerify::Full && !SSL_CTX_set_default_verify_paths(context_))) {
            detail = LastError();
            return false;
        }
        // The chain and name are judged once the handshake is done, so every verdict comes
        // from the same place and carries OpenSSL's own words.
        SSL_CTX_set_verify(context_, SSL_VERIFY_NONE, nullptr);
        ssl_ = SSL_new(context_);
        BIO* bio = ssl_ != nullptr ? BIO_new(SocketMethod()) : nullptr;
        if (bio == nullptr) {
            detail = LastError();
            return false;
        }
        BIO_set_data(bio, &end_);
        SSL_set_bio(ssl_, bio, bio);
        in_addr ip{};
        const bool isIp = ::inet_pton(AF_INET, peer.host.c_str(), &ip) == 1;
        if (!isIp && !peer.host.empty() &&
            // SSL_set_tlsext_host_name without its C cast.
            SSL_ctrl(ssl_, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                     const_cast<char*>(peer.host.c_str())) != 1) {
            detail = LastError();
            return false;
        }
        if (peer.verify == TlsVerify::Full) {
            const bool named =
                isIp ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), peer.host.c_str()) == 1
                     : SSL_set1_host(ssl_, peer.host.c_str()) == 1;
            if (!named) {
                detail = LastError();
                return false;
            }
        }
        return true;
    }

    TlsOpening Handshake(const TlsPeer& peer, Deadline deadline, Clock* serve) {
        TlsOpening opening;
        const IoStatus status = Drive([&] { return SSL_connect(ssl_); }, deadline, serve);
        if (status != IoStatus::Done) {
            opening.failure = status == IoStatus::TimedOut ? TlsFailure::TimedOut
                              : status == IoStatus::Closed ? TlsFailure::Closed
                                                           : TlsFailure::Handshake;
            opening.detail = failureDetail_;
            return opening;
        }
        open_ = true;
        Judge(peer, opening);
        return opening;
    }

    IoStatus SendAll(std::string_view bytes, Deadline deadline, Clock* serve) override {
        while (!bytes.empty()) {
            const int chunk = bytes.size() > 65536 ? 65536 : static_cast<int>(bytes.size());
            int written = 0;
            const IoStatus status = Drive(
                [&] { return written = SSL_write(ssl_, bytes.data(), chunk); }, deadline, serve);
            if (status != IoStatus::Done) {
                return status;
            }
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
        return IoStatus::Done;
    }

    IoStatus ReceiveSome(char* buffer, std::size_t capacity, std::size_t& received,
                         Deadline deadline, Clock* serve) override {
        received = 0;
        if (capacity == 0) {
            return IoStatus::Failed;
        }
        if (taken_ == pending_.size()) {
            pending_.resize(kRecord);
            int read = 0;
            const IoStatus status = Drive(
                [&] { return read = SSL_read(ssl_, pending_.data(), kRecord); }, deadline, serve);
            if (status != IoStatus::Done) {
                pending_.clear();
                taken_ = 0;
                return status;
            }
            pending_.resize(static_cast<std::size_t>(read));
            taken_ = 0;
        }
        const std::size_t left = pending_.size() - taken_;
        received = left < capacity ? left : capacity;
        pending_.copy(buffer, received, taken_);
        taken_ += received;
        return IoStatus::Done;
    }

    std::string PeerFingerprint() const override { return fingerprint_; }

private:
    static constexpr int kRecord = 16384;

    // Calls `step` until it succeeds, waiting on the socket as OpenSSL asks, until the deadline.
    template <typename Step>
    IoStatus Drive(Step step, Deadline deadline, Clock* serve) {
        while (true) {
            ERR_clear_error();
            const int result = step();
            if (result > 0) {
                return IoStatus::Done;
            }
            short events = 0;
            switch (SSL_get_error(ssl_, result)) {
                case SSL_ERROR_WANT_READ:
                    events = POLLIN;
                    break;
                case SSL_ERROR_WANT_WRITE:
                    events = POLLOUT;
                    break;
                case SSL_ERROR_ZERO_RETURN:
                    failureDetail_.clear();
                    return IoStatus::Closed;
                default:
                    failureDetail_ = LastError();
                    return end_.ended ? IoStatus::Closed : IoStatus::Failed;
            }
            const int ready = WaitFor(end_.fd, events, deadline, serve);
            if (ready == 0) {
                failureDetail_.clear();
                return IoStatus::TimedOut;
            }
            if (ready < 0) {
                failureDetail_ = "poll failed";
                return IoStatus::Failed;
            }
        }
    }

    void Judge(const TlsPeer& peer, TlsOpening& opening) {
        X509* certificate = SSL_get1_peer_certificate(ssl_);
        if (certificate == nullptr) {
            opening.failure = TlsFailure::Handshake;
            opening.detail = "no server certificate";
            return;
        }
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned length = 0;
        if (X509_digest(certificate, EVP_sha256(), digest, &length) == 1) {
            fingerprint_ = Hex(digest, length);
        }
        X509_free(certificate);
        switch (peer.verify) {
            case TlsVerify::Full: {
                const long verdict = SSL_get_verify_result(ssl_);
                if (verdict != X509_V_OK) {
                    opening.failure = verdict == X509_V_ERR_HOSTNAME_MISMATCH ||
                                              verdict == X509_V_ERR_IP_ADDRESS_MISMATCH
                                          ? TlsFailure::WrongName
                                          : TlsFailure::Untrusted;
                    opening.detail = X509_verify_cert_error_string(verdict);
                }
                break;
            }
            case TlsVerify::Fingerprint:
                if (fingerprint_.empty() || fingerprint_ != peer.fingerprint) {
                    opening.failure = TlsFailure::FingerprintMismatch;
                    opening.detail = fingerprint_;
                }
                break;
            case TlsVerify::None:
                break;
        }
    }

    SocketEnd end_;
    SSL_CTX* context_ = nullptr;
    SSL* ssl_ = nullptr;
    bool open_ = false;
    std::string failureDetail_;
    std::string fingerprint_;
    std::string pending_;  // decrypted bytes, of which the first `taken_` were handed out
    std::size_t taken_ = 0;
};

}  // namespace

TlsOpening OpenTls(Socket& socket, const TlsPeer& peer, Deadline deadline, Clock* serve) {
    auto stream = std::make_unique<OpenSslStream>(static_cast<int>(socket.Fd()));
    TlsOpening opening;
    if (!socket.IsOpen()) {
        opening.failure = TlsFailure::Handshake;
        opening.detail = "no connection";
        return opening;
    }
    if (!stream->Prepare(peer, opening.detail)) {
        opening.failure = TlsFailure::Handshake;
        return opening;
    }
    opening = stream->Handshake(peer, deadline, serve);
    if (opening.failure == TlsFailure::None) {
        opening.stream = std::move(stream);
    }
    return opening;
}

}  // namespace tolvane
