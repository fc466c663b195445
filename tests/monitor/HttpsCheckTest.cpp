// The check over TLS: the same answers as the plain check's, served over TLS by
// tests/monitor/http_peer.py, and handshakes that fail, by tests/support/tls_peer.py.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "monitor/HttpCheck.h"
#include "tests/support/HttpPeer.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TlsPeers.h"

namespace tolvane {
namespace {

constexpr std::uint32_t kPatient = 60;
constexpr std::uint32_t kShort = 2;

class HttpsCheckTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const test::TestCerts& certs = test::TrustedTestCerts();
        if (certs.Dir().empty()) {
            return;
        }
        http = std::make_unique<test::HttpPeer>(certs.Dir());
        tls = std::make_unique<test::TlsPeers>(certs.Dir());
    }
    static void TearDownTestSuite() {
        http.reset();
        tls.reset();
    }
    void SetUp() override {
        ASSERT_EQ(test::TrustedTestCerts().Error(), "");
        ASSERT_NE(http->TlsPort(), 0) << http->Error();
        ASSERT_EQ(tls->Error(), "");
    }

    static std::string Fingerprint(const char* name) {
        return test::TrustedTestCerts().Fingerprint(name);
    }

    static std::unique_ptr<test::HttpPeer> http;
    static std::unique_ptr<test::TlsPeers> tls;
};
std::unique_ptr<test::HttpPeer> HttpsCheckTest::http;
std::unique_ptr<test::TlsPeers> HttpsCheckTest::tls;

// Which server a case meets.
enum class Peer {
    Https,      // http_peer.py over TLS, with the test root's certificate for localhost
    Http,       // http_peer.py without TLS
    Other,      // tls_peer.py: the test root's certificate for other.example
    Untrusted,  // tls_peer.py: a certificate for localhost from a root nobody trusts
    Stall,      // tls_peer.py: never answers the handshake
    NotTls,     // tls_peer.py: answers with a line of plain text
};

TEST_F(HttpsCheckTest, EachServerAndCertificateEndsTheCheckWithItsReason) {
    const std::string server = Fingerprint("server");
    const std::string untrusted = Fingerprint("untrusted");
    const struct Case {
        const char* name;
        Peer peer;
        bool tls;
        TlsVerify verify;
        std::string fingerprint;
        const char* hostHeader;
        const char* path;
        const char* text;
        bool hangs;          // ends at its time-out
        const char* reason;  // empty: passes; a TLS reason is matched at its start, since the
                             // library's own words may follow it
        std::uint32_t status;
    } cases[] = {
        // The answers read through the session as they are read without it.
        {"status and text", Peer::Https, true, TlsVerify::None, "", "", "/ok", "needle", false, "",
         200},
        {"text missing", Peer::Https, true, TlsVerify::None, "", "", "/ok", "absent", false,
         "text missing", 200},
        {"status refused", Peer::Https, true, TlsVerify::None, "", "", "/503", "", false,
         "status 503", 503},
        {"chunked", Peer::Https, true, TlsVerify::None, "", "", "/chunked", "needle", false, "",
         200},
        {"only the first 64 KiB", Peer::Https, true, TlsVerify::None, "", "", "/text-past-limit",
         "needle", false, "text missing", 200},
        {"endless body", Peer::Https, true, TlsVerify::None, "", "", "/endless", "needle", false,
         "text missing", 200},
        {"closed early", Peer::Https, true, TlsVerify::None, "", "", "/short-body", "needle", false,
         "closed early", 200},
        {"trickles past the time-out", Peer::Https, true, TlsVerify::None, "", "", "/trickle", "",
         true, "timed out", 0},
        // Full: the chain to the trusted test root and the name of the Host header, without
        // its port, or the name probed.
        {"full by the Host header", Peer::Https, true, TlsVerify::Full, "", "localhost", "/ok",
         "needle", false, "", 200},
        {"full without the port", Peer::Https, true, TlsVerify::Full, "", "localhost:8443", "/ok",
         "needle", false, "", 200},
        {"full for another name", Peer::Other, true, TlsVerify::Full, "", "localhost", "/ok", "",
         false, "TLS certificate is not for localhost", 0},
        {"full for the name set", Peer::Other, true, TlsVerify::Full, "", "other.example", "", "",
         false, "", 0},
        {"full from an untrusted root", Peer::Untrusted, true, TlsVerify::Full, "", "localhost",
         "/ok", "", false, "TLS certificate not trusted", 0},
        {"none takes any certificate", Peer::Untrusted, true, TlsVerify::None, "", "localhost", "",
         "", false, "", 0},
        {"fingerprint matches", Peer::Https, true, TlsVerify::Fingerprint, server, "", "/ok",
         "needle", false, "", 200},
        {"fingerprint of an untrusted root matches", Peer::Untrusted, true, TlsVerify::Fingerprint,
         untrusted, "", "", "", false, "", 0},
        {"fingerprint differs", Peer::Untrusted, true, TlsVerify::Fingerprint, server, "", "/ok",
         "", false, "TLS certificate SHA-256 is not the fingerprint set", 0},
        // The handshake alone is the check without a path: a port that takes connections but
        // no TLS is down.
        {"not TLS, connect only", Peer::NotTls, true, TlsVerify::None, "", "", "", "", false,
         "TLS handshake", 0},
        {"not TLS", Peer::NotTls, true, TlsVerify::None, "", "", "/ok", "", false, "TLS handshake",
         0},
        {"handshake stalls", Peer::Stall, true, TlsVerify::None, "", "", "/ok", "", true,
         "TLS handshake timed out", 0},
        {"handshake stalls, connect only", Peer::Stall, true, TlsVerify::None, "", "", "", "", true,
         "TLS handshake timed out", 0},
        {"without TLS as before", Peer::Http, false, TlsVerify::None, "", "", "/ok", "needle",
         false, "", 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CheckTarget target;
        target.host = "127.0.0.1";
        switch (c.peer) {
            case Peer::Https:
                target.port = http->TlsPort();
                break;
            case Peer::Http:
                target.port = http->Port();
                break;
            case Peer::Other:
                target.port = tls->Port("other");
                break;
            case Peer::Untrusted:
                target.port = tls->Port("untrusted");
                break;
            case Peer::Stall:
                target.port = tls->Port("stall");
                break;
            case Peer::NotTls:
                target.port = tls->Port("plain");
                break;
        }
        ASSERT_NE(target.port, 0u);
        target.path = c.path;
        target.hostHeader = c.hostHeader;
        target.text = c.text;
        target.timeoutSeconds = c.hangs ? kShort : kPatient;
        target.tls = c.tls;
        target.tlsPeer.verify = c.verify;
        target.tlsPeer.fingerprint = c.fingerprint;
        Socket socket;
        const CheckResult result = RunCheck(target, socket, test::ResolveLocally);
        const std::string reason = c.reason;
        if (reason.starts_with("TLS")) {
            EXPECT_TRUE(result.reason.starts_with(reason)) << result.reason;
            EXPECT_EQ(result.reason.find_first_of("\r\n"), std::string::npos) << result.reason;
        } else {
            EXPECT_EQ(result.reason, reason);
        }
        EXPECT_EQ(result.ok, reason.empty());
        EXPECT_EQ(result.httpStatus, c.status);
        if (c.hangs) {
            EXPECT_GE(result.durationMs, kShort * 1000) << "ended by the time-out, not before";
        }
    }
}

// The request goes through the session as it would go without it; the peer answers with it.
TEST_F(HttpsCheckTest, SendsTheSameRequestThroughTheSession) {
    CheckTarget target;
    target.host = "127.0.0.1";
    target.port = http->TlsPort();
    target.path = "/echo?over=tls";
    target.tls = true;
    target.timeoutSeconds = kPatient;
    target.text = CheckRequest(target);
    ASSERT_NE(target.text.find("Host: 127.0.0.1:" + std::to_string(target.port) + "\r\n"),
              std::string::npos);
    Socket socket;
    const CheckResult result = RunCheck(target, socket, test::ResolveLocally);
    EXPECT_TRUE(result.ok) << result.reason;
}

// A plain request to the TLS port fails as any garbled answer does, never as a TLS failure.
TEST_F(HttpsCheckTest, WithoutTlsATlsPortFailsAsBefore) {
    CheckTarget target;
    target.host = "127.0.0.1";
    target.port = http->TlsPort();
    target.path = "/ok";
    target.timeoutSeconds = kPatient;
    Socket socket;
    const CheckResult result = RunCheck(target, socket, test::ResolveLocally);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.reason.starts_with("TLS")) << result.reason;
}

TEST(HttpsCheck, TheHostHeaderLeavesOutTheSchemesOwnPort) {
    const struct {
        bool tls;
        std::uint32_t port;
        const char* host;
    } cases[] = {
        {false, 80, "Host: web01\r\n"},       {false, 443, "Host: web01:443\r\n"},
        {true, 443, "Host: web01\r\n"},       {true, 80, "Host: web01:80\r\n"},
        {true, 8443, "Host: web01:8443\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        CheckTarget target;
        target.host = "web01";
        target.port = c.port;
        target.path = "/";
        target.tls = c.tls;
        EXPECT_NE(CheckRequest(target).find(c.host), std::string::npos) << CheckRequest(target);
    }
}

}  // namespace
}  // namespace tolvane
