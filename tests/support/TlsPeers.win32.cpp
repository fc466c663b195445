#include "tests/support/TlsPeers.h"

// clang-format off
#include <windows.h>
#include <wincrypt.h>
// clang-format on

#include <cstdlib>
#include <vector>

#include "tests/support/TestSupport.h"

namespace tolvane::test {

namespace {

// The test root in the prefix's root store for as long as the test program runs:
// added when the certificates are first asked for, removed at its end, so no other program of
// the suite trusts it.
class TrustedRoot {
public:
    explicit TrustedRoot(const std::string& pemFile) {
        const std::string pem = ReadFile(pemFile);
        DWORD size = 0;
        if (pem.empty() ||
            !::CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()),
                                    CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
            error_ = "no certificate in " + pemFile;
            return;
        }
        der_.resize(size);
        ::CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()),
                               CRYPT_STRING_BASE64HEADER, der_.data(), &size, nullptr, nullptr);
        HCERTSTORE store = OpenRoot();
        // Closing writes the store to the prefix's registry, where the chain engine finds it.
        if (store == nullptr ||
            !::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der_.data(), size,
                                                CERT_STORE_ADD_REPLACE_EXISTING, nullptr) ||
            !::CertCloseStore(store, 0)) {
            error_ = "the test root cannot be added to the root store";
            return;
        }
        added_ = true;
    }
    TrustedRoot(const TrustedRoot&) = delete;
    TrustedRoot& operator=(const TrustedRoot&) = delete;
    ~TrustedRoot() {
        HCERTSTORE store = added_ ? OpenRoot() : nullptr;
        if (store == nullptr) {
            return;
        }
        PCCERT_CONTEXT added = ::CertCreateCertificateContext(X509_ASN_ENCODING, der_.data(),
                                                              static_cast<DWORD>(der_.size()));
        if (added != nullptr) {
            if (PCCERT_CONTEXT found = ::CertFindCertificateInStore(
                    store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, added, nullptr)) {
                ::CertDeleteCertificateFromStore(found);  // frees `found` too
            }
            ::CertFreeCertificateContext(added);
        }
        // Wine's registry store writes a removal only when told to.
        ::CertControlStore(store, CERT_STORE_CTRL_COMMIT_FORCE_FLAG, CERT_STORE_CTRL_COMMIT,
                           nullptr);
        ::CertCloseStore(store, 0);
    }
    const std::string& Error() const { return error_; }

private:
    // The user's root store: no administrator needed, and the chain engine reads it.
    static HCERTSTORE OpenRoot() {
        return ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER,
                               L"ROOT");
    }

    std::vector<BYTE> der_;
    bool added_ = false;
    std::string error_;
};

}  // namespace

struct TestCerts::Made {
    explicit Made(const std::string& pemFile) : root(pemFile) {}
    TrustedRoot root;
};

TestCerts::TestCerts() {
    const char* dir = std::getenv("TOLVANE_TEST_CERTS");
    if (dir == nullptr || *dir == '\0') {
        error_ = "TOLVANE_TEST_CERTS is not set: run the program as its ctest test does";
        return;
    }
    dir_ = dir;
    made_ = std::make_unique<Made>(File("ca.pem"));
    error_ = made_->root.Error();
}

TestCerts::~TestCerts() = default;

const TestCerts& TrustedTestCerts() {
    static const TestCerts certs;
    return certs;
}

struct TlsPeers::Server {};

TlsPeers::TlsPeers(const std::string&) {
    const char* ports = std::getenv("TOLVANE_TEST_TLS_PORTS");
    if (ports == nullptr || *ports == '\0') {
        error_ = "TOLVANE_TEST_TLS_PORTS is not set: run the program through tls_peer.py --run";
        return;
    }
    ports_ = ParseTlsPorts(ports);
}

TlsPeers::~TlsPeers() = default;

}  // namespace tolvane::test
