#include "os/TlsStream.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>
// SCH_CREDENTIALS, the only way to TLS 1.3, is declared with these.
#define SCHANNEL_USE_BLACKLISTS
#define SECURITY_WIN32
#include <subauth.h>
#include <schannel.h>
#include <security.h>
#include <sspi.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "os/Win32Text.h"

namespace tolvane {

namespace {

constexpr ULONG kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;

// The status in hex, and the system's words for it when they are short enough for one line.
std::string Described(long status) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(status));
    std::string detail = hex;
    char words[256] = {};
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                         static_cast<DWORD>(status), MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT),
                         words, sizeof words, nullptr);
    std::string text(words, length);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    const bool plain =
        std::all_of(text.begin(), text.end(), [](char c) { return c >= ' ' && c <= '~'; });
    if (!text.empty() && plain && text.size() <= 100) {
        detail += " " + text;
    }
    return detail;
}

struct Credentials {
    CredHandle handle{};
    bool held = false;
    Credentials() = default;
    Credentials(const Credentials&) = delete;
    Credentials& operator=(const Credentials&) = delete;
    ~Credentials() {
        if (held) {
            ::FreeCredentialsHandle(&handle);
        }
    }
};

struct Context {
    CtxtHandle handle{};
    bool held = false;
    Context() = default;
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    ~Context() {
        if (held) {
            ::DeleteSecurityContext(&handle);
        }
    }
};

struct CertContext {
    PCCERT_CONTEXT cert = nullptr;
    CertContext() = default;
    CertContext(const CertContext&) = delete;
    CertContext& operator=(const CertContext&) = delete;
    ~CertContext() {
        if (cert != nullptr) {
            ::CertFreeCertificateContext(cert);
        }
    }
};

struct Chain {
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    Chain() = default;
    Chain(const Chain&) = delete;
    Chain& operator=(const Chain&) = delete;
    ~Chain() {
        if (chain != nullptr) {
            ::CertFreeCertificateChain(chain);
        }
    }
};

// Client credentials that send no certificate and leave the server's to us: Wine's automatic
// check takes certificates from roots nobody trusts. TLS 1.3 exists only through the newer
// SCH_CREDENTIALS, on systems that have it (Windows 11, Server 2022); where that is refused, as
// on older systems and Wine 8 (which has no TLS 1.3 at all), the older SCHANNEL_CRED asks for
// TLS 1.2.
SECURITY_STATUS AcquireClient(Credentials& credentials) {
    const DWORD flags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    TLS_PARAMETERS below12{};
    below12.grbitDisabledProtocols =
        static_cast<DWORD>(~(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT));
    SCH_CREDENTIALS current{};
    current.dwVersion = SCH_CREDENTIALS_VERSION;
    current.dwFlags = flags;
    current.cTlsParameters = 1;
    current.pTlsParameters = &below12;
    SECURITY_STATUS status = ::AcquireCredentialsHandleW(
        nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr, &current,
        nullptr, nullptr, &credentials.handle, nullptr);
    if (status != SEC_E_OK) {
        SCHANNEL_CRED older{};
        older.dwVersion = SCHANNEL_CRED_VERSION;
        older.dwFlags = flags;
        older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
        status = ::AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W),
                                             SECPKG_CRED_OUTBOUND, nullptr, &older, nullptr,
                                             nullptr, &credentials.handle, nullptr);
    }
    credentials.held = status == SEC_E_OK;
    return status;
}

// The content type of an alert record, which stands unencrypted in its header up to TLS 1.2.
constexpr char kAlertRecord = 21;

// A TLS record starts with its content type (20 to 24) and the major version 3. Wine reads the
// length of whatever arrives and would wait for thousands of bytes a plain-text server never
// sends.
bool StartsLikeTls(const std::string& bytes) {
    const auto type = static_cast<unsigned char>(bytes[0]);
    return type >= 20 && type <= 24 && (bytes.size() < 2 || bytes[1] == 3);
}

std::string Hex(const unsigned char* bytes, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

std::string Sha256(PCCERT_CONTEXT cert) {
    unsigned char hash[32];
    DWORD size = sizeof hash;
    if (!::CryptHashCertificate2(BCRYPT_SHA256_ALGORITHM, 0, nullptr, cert->pbCertEncoded,
                                 cert->cbCertEncoded, hash, &size) ||
        size != sizeof hash) {
        return {};
    }
    return Hex(hash, size);
}

// The chain's own verdict. Wine's SSL policy passes a chain that ends below any trusted root,
// so the chain's error bits are read first; revocation is not asked for.
long ChainError(const CERT_CHAIN_CONTEXT& chain) {
    constexpr std::pair<DWORD, long> kErrors[] = {
        {CERT_TRUST_IS_NOT_TIME_VALID, CERT_E_EXPIRED},
        {CERT_TRUST_IS_UNTRUSTED_ROOT, CERT_E_UNTRUSTEDROOT},
        {CERT_TRUST_IS_PARTIAL_CHAIN, CERT_E_CHAINING},
        {CERT_TRUST_IS_NOT_VALID_FOR_USAGE, CERT_E_WRONG_USAGE},
        {CERT_TRUST_IS_REVOKED, CRYPT_E_REVOKED},
    };
    const DWORD status = chain.TrustStatus.dwErrorStatus &
                         ~(CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION);
    for (const auto& [bit, error] : kErrors) {
        if ((status & bit) != 0) {
            return error;
        }
    }
    return status == 0 ? 0 : static_cast<long>(TRUST_E_FAIL);
}

// True when `host` is a dotted IPv4 address that the certificate names among its alternative
// names; the SSL policy matches names only (Wine's does not take addresses).
bool NamesAddress(PCCERT_CONTEXT cert, const std::string& host) {
    in_addr address{};
    if (::inet_pton(AF_INET, host.c_str(), &address) != 1) {
        return false;
    }
    const CERT_EXTENSION* extension = ::CertFindExtension(
        szOID_SUBJECT_ALT_NAME2, cert->pCertInfo->cExtension, cert->pCertInfo->rgExtension);
    CERT_ALT_NAME_INFO* names = nullptr;
    DWORD size = 0;
    if (extension == nullptr ||
        !::CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                               extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names,
                               &size)) {
        return false;
    }
    bool found = false;
    for (DWORD i = 0; i < names->cAltEntry; ++i) {
        const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
        found = found || (entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
                          entry.IPAddress.cbData == sizeof address &&
                          std::memcmp(entry.IPAddress.pbData, &address, sizeof address) == 0);
    }
    ::LocalFree(names);
    return found;
}

struct Verdict {
    TlsFailure failure = TlsFailure::None;
    std::string detail;
};

// The chain to a root of the system's stores, with the intermediates the server sent, and the
// name, judged by the SSL policy as the system's own clients are; an address by its own match.
Verdict ChainFor(PCCERT_CONTEXT cert, const std::string& host) {
    LPSTR serverAuth = const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH);
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = &serverAuth;
    Chain chain;
    if (!::CertGetCertificateChain(nullptr, cert, nullptr, cert->hCertStore, &para, 0, nullptr,
                                   &chain.chain)) {
        return {TlsFailure::Untrusted, Described(static_cast<long>(::GetLastError()))};
    }
    if (const long error = ChainError(*chain.chain); error != 0) {
        return {TlsFailure::Untrusted, Described(error)};
    }
    const bool address = NamesAddress(cert, host);
    std::wstring name = ToWide(host);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = address ? nullptr : name.data();
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.chain, &policy, &status)) {
        return {TlsFailure::Untrusted, Described(static_cast<long>(::GetLastError()))};
    }
    if (status.dwError == 0) {
        return {};
    }
    const auto error = static_cast<long>(status.dwError);
    return {error == CERT_E_CN_NO_MATCH ? TlsFailure::WrongName : TlsFailure::Untrusted,
            Described(error)};
}

class SchannelStream final : public TlsStream {
public:
    SchannelStream(Socket& socket, const std::string& host)
        : socket_(socket), host_(ToWide(host)) {}

    // The client's side of the handshake, from its first message, and what it agreed.
    TlsOpening Open(Deadline deadline, Clock* serve) {
        const SECURITY_STATUS acquired = AcquireClient(credentials_);
        if (acquired != SEC_E_OK) {
            return Failed(TlsFailure::Handshake, Described(acquired));
        }
        TlsOpening opening = Negotiate(deadline, serve);
        if (opening.failure != TlsFailure::None) {
            return opening;
        }
        if (::QueryContextAttributesW(&context_.handle, SECPKG_ATTR_STREAM_SIZES, &sizes_) !=
            SEC_E_OK) {
            return Failed(TlsFailure::Handshake, "no stream sizes");
        }
        // Wine takes SCH_CREDENTIALS but not its disabled protocols, and goes down to TLS 1.0
        // with a server that asks for it: the protocol agreed is checked here.
        SecPkgContext_ConnectionInfo connection{};
        if (::QueryContextAttributesW(&context_.handle, SECPKG_ATTR_CONNECTION_INFO, &connection) !=
                SEC_E_OK ||
            (connection.dwProtocol & (SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT)) == 0) {
            return Failed(TlsFailure::Handshake, "a protocol older than TLS 1.2");
        }
        const SECURITY_STATUS queried = ::QueryContextAttributesW(
            &context_.handle, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate_.cert);
        if (queried != SEC_E_OK || certificate_.cert == nullptr) {
            return Failed(TlsFailure::Handshake,
                          "no server certificate (" + Described(queried) + ")");
        }
        fingerprint_ = Sha256(certificate_.cert);
        if (fingerprint_.empty()) {
            return Failed(TlsFailure::Handshake, "no SHA-256 of the certificate");
        }
        return {};
    }

    PCCERT_CONTEXT Certificate() const { return certificate_.cert; }

    IoStatus SendAll(std::string_view bytes, Deadline deadline, Clock* serve) override {
        if (closed_) {
            return IoStatus::Closed;
        }
        std::string record;
        while (!bytes.empty()) {
            const std::size_t size = std::min<std::size_t>(bytes.size(), sizes_.cbMaximumMessage);
            record.assign(sizes_.cbHeader + size + sizes_.cbTrailer, '\0');
            std::memcpy(record.data() + sizes_.cbHeader, bytes.data(), size);
            SecBuffer buffers[4] = {
                {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                {static_cast<ULONG>(size), SECBUFFER_DATA, record.data() + sizes_.cbHeader},
                {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER,
                 record.data() + sizes_.cbHeader + size},
                {0, SECBUFFER_EMPTY, nullptr}};
            SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
            if (::EncryptMessage(&context_.handle, 0, &description, 0) != SEC_E_OK) {
                return IoStatus::Failed;
            }
            const std::size_t total =
                buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
            const IoStatus sent =
                SendAllBefore(socket_, std::string_view(record.data(), total), deadline, serve);
            if (sent != IoStatus::Done) {
                return sent;
            }
            bytes.remove_prefix(size);
        }
        return IoStatus::Done;
    }

    IoStatus ReceiveSome(char* buffer, std::size_t capacity, std::size_t& received,
                         Deadline deadline, Clock* serve) override {
        received = 0;
        while (plain_.empty()) {
            if (closed_) {
                return IoStatus::Closed;
            }
            const IoStatus decrypted = DecryptSome(deadline, serve);
            if (decrypted != IoStatus::Done) {
                return decrypted;
            }
        }
        received = std::min(capacity, plain_.size());
        std::memcpy(buffer, plain_.data(), received);
        plain_.erase(0, received);
        return IoStatus::Done;
    }

    std::string PeerFingerprint() const override { return fingerprint_; }

private:
    static TlsOpening Failed(TlsFailure failure, std::string detail) {
        TlsOpening opening;
        opening.failure = failure;
        opening.detail = std::move(detail);
        return opening;
    }

    // Appends what arrives to `incoming_`.
    IoStatus Receive(Deadline deadline, Clock* serve) {
        char chunk[16384];
        std::size_t received = 0;
        const IoStatus status =
            ReceiveSomeBefore(socket_, chunk, sizeof chunk, received, deadline, serve);
        if (status == IoStatus::Done) {
            incoming_.append(chunk, received);
        }
        return status;
    }

    // Keeps the bytes SChannel left unread, the end of what it was given.
    void KeepExtra(const SecBuffer& buffer) {
        if (buffer.BufferType == SECBUFFER_EXTRA && buffer.cbBuffer <= incoming_.size()) {
            incoming_.erase(0, incoming_.size() - buffer.cbBuffer);
        } else {
            incoming_.clear();
        }
    }

    // Exchanges handshake messages until the context is complete. `incoming_` may already hold
    // the server's first message (a renegotiation); the first call of all has no input.
    TlsOpening Negotiate(Deadline deadline, Clock* serve) {
        bool first = !context_.held;
        for (;;) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return Failed(TlsFailure::TimedOut, {});
            }
            if (!first && !incoming_.empty() && !StartsLikeTls(incoming_)) {
                return Failed(TlsFailure::Handshake, Described(SEC_E_ILLEGAL_MESSAGE));
            }
            SecBuffer in[2] = {
                {static_cast<ULONG>(incoming_.size()), SECBUFFER_TOKEN, incoming_.data()},
                {0, SECBUFFER_EMPTY, nullptr}};
            SecBufferDesc inDescription{SECBUFFER_VERSION, 2, in};
            SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
            SecBufferDesc outDescription{SECBUFFER_VERSION, 1, out};
            ULONG attributes = 0;
            const SECURITY_STATUS status = ::InitializeSecurityContextW(
                &credentials_.handle, first ? nullptr : &context_.handle, host_.data(),
                kContextFlags, 0, 0, first ? nullptr : &inDescription, 0,
                first ? &context_.handle : nullptr, &outDescription, &attributes, nullptr);
            if (first && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED)) {
                context_.held = true;
            }
            first = false;
            IoStatus sent = IoStatus::Done;
            if (out[0].pvBuffer != nullptr) {
                if (out[0].cbBuffer > 0) {
                    sent = SendAllBefore(socket_,
                                         std::string_view(static_cast<const char*>(out[0].pvBuffer),
                                                          out[0].cbBuffer),
                                         deadline, serve);
                }
                ::FreeContextBuffer(out[0].pvBuffer);
            }
            if (status != SEC_E_INCOMPLETE_MESSAGE && status != SEC_I_CONTINUE_NEEDED &&
                status != SEC_E_OK && status != SEC_I_INCOMPLETE_CREDENTIALS) {
                return Failed(TlsFailure::Handshake, Described(status));
            }
            if (sent != IoStatus::Done) {
                return Failed(
                    sent == IoStatus::TimedOut ? TlsFailure::TimedOut : TlsFailure::Closed, {});
            }
            if (status == SEC_I_INCOMPLETE_CREDENTIALS) {
                continue;  // the server asked for a client certificate: go on without one
            }
            if (status != SEC_E_INCOMPLETE_MESSAGE) {
                KeepExtra(in[1]);
            }
            if (status == SEC_E_OK) {
                return {};
            }
            if (status == SEC_E_INCOMPLETE_MESSAGE || incoming_.empty()) {
                const IoStatus received = Receive(deadline, serve);
                if (received == IoStatus::TimedOut) {
                    return Failed(TlsFailure::TimedOut, {});
                }
                if (received != IoStatus::Done) {
                    return Failed(TlsFailure::Closed, {});
                }
            }
        }
    }

    // Decrypts the next record into `plain_`, receiving until a whole one is there.
    IoStatus DecryptSome(Deadline deadline, Clock* serve) {
        for (;;) {
            if (!incoming_.empty()) {
                SecBuffer buffers[4] = {
                    {static_cast<ULONG>(incoming_.size()), SECBUFFER_DATA, incoming_.data()},
                    {0, SECBUFFER_EMPTY, nullptr},
                    {0, SECBUFFER_EMPTY, nullptr},
                    {0, SECBUFFER_EMPTY, nullptr}};
                SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
                const bool alert = incoming_[0] == kAlertRecord;
                const SECURITY_STATUS status =
                    ::DecryptMessage(&context_.handle, &description, 0, nullptr);
                if (status == SEC_E_OK || status == SEC_I_RENEGOTIATE ||
                    status == SEC_I_CONTEXT_EXPIRED) {
                    const SecBuffer* extra = nullptr;
                    for (const SecBuffer& buffer : buffers) {
                        if (buffer.BufferType == SECBUFFER_DATA && buffer.cbBuffer > 0) {
                            plain_.append(static_cast<const char*>(buffer.pvBuffer),
                                          buffer.cbBuffer);
                        } else if (buffer.BufferType == SECBUFFER_EXTRA) {
                            extra = &buffer;
                        }
                    }
                    KeepExtra(extra != nullptr ? *extra : buffers[3]);
                }
                if (status == SEC_I_CONTEXT_EXPIRED) {
                    closed_ = true;  // the server's close_notify
                    return plain_.empty() ? IoStatus::Closed : IoStatus::Done;
                }
                if (status == SEC_I_RENEGOTIATE) {
                    // TLS 1.3 sends its session tickets and key updates this way: they go
                    // through the handshake loop, with what followed them.
                    if (Negotiate(deadline, serve).failure != TlsFailure::None) {
                        return IoStatus::Failed;
                    }
                    continue;
                }
                if (status == SEC_E_OK) {
                    if (!plain_.empty()) {
                        return IoStatus::Done;
                    }
                    if (alert) {
                        // Wine's DecryptMessage takes the server's close_notify as an empty
                        // record, where Windows says SEC_I_CONTEXT_EXPIRED.
                        closed_ = true;
                        return IoStatus::Closed;
                    }
                    continue;  // an empty record
                }
                if (status != SEC_E_INCOMPLETE_MESSAGE) {
                    // An alert record, which SChannel takes as an error, ends the session from
                    // the server's side as its close_notify does: OpenSSL sends one when the
                    // client has ended its sending side without a close_notify of its own.
                    closed_ = alert;
                    return closed_ ? IoStatus::Closed : IoStatus::Failed;
                }
            }
            const IoStatus received = Receive(deadline, serve);
            if (received != IoStatus::Done) {
                return received;
            }
        }
    }

    Socket& socket_;
    std::wstring host_;
    Credentials credentials_;
    Context context_;
    SecPkgContext_StreamSizes sizes_{};
    CertContext certificate_;  // the server's
    std::string incoming_;     // received, not yet decrypted
    std::string plain_;        // decrypted, not yet handed out
    std::string fingerprint_;
    bool closed_ = false;
};

}  // namespace

TlsOpening OpenTls(Socket& socket, const TlsPeer& peer, Deadline deadline, Clock* serve) {
    auto stream = std::make_unique<SchannelStream>(socket, peer.host);
    TlsOpening opening = stream->Open(deadline, serve);
    if (opening.failure != TlsFailure::None) {
        return opening;
    }
    if (peer.verify == TlsVerify::Fingerprint && stream->PeerFingerprint() != peer.fingerprint) {
        // The certificate's own, for the user to compare or copy.
        opening.failure = TlsFailure::FingerprintMismatch;
        opening.detail = stream->PeerFingerprint();
        return opening;
    }
    if (peer.verify == TlsVerify::Full) {
        Verdict verdict = ChainFor(stream->Certificate(), peer.host);
        if (verdict.failure != TlsFailure::None) {
            opening.failure = verdict.failure;
            opening.detail = std::move(verdict.detail);
            return opening;
        }
    }
    opening.stream = std::move(stream);
    return opening;
}

}  // namespace tolvane
