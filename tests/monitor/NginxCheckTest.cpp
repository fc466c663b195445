// The check against a real web server: Debian's nginx-light, run by the test as its own user on
// a loopback port, with its configuration, pid file, logs and temporary folders in a test folder.
#include <gtest/gtest.h>

#include <string>

#include "monitor/HttpCheck.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TlsPeers.h"

namespace tolvane {
namespace {

constexpr const char* kPageText = "Tolvane test page";
constexpr const char* kLateText = "past the first 64 KiB";

class NginxCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::NginxServer::Installed()) {
            GTEST_SKIP() << test::NginxServer::kProgram << " is missing: install nginx-light";
        }
        test::WriteFile(nginx_.Page("index.html"),
                        std::string("<html><body><h1>") + kPageText + "</h1></body></html>\n");
        test::WriteFile(nginx_.Page("big.html"), std::string(70 * 1024, 'x') + kLateText);
        const std::string error = nginx_.Start();
        ASSERT_EQ(error, "");
    }

    CheckResult Check(const std::string& path, const std::string& text = "",
                      const char* accepted = "200-399") {
        CheckTarget target;
        target.host = "127.0.0.1";
        target.port = nginx_.Port();
        target.path = path;
        target.text = text;
        target.accepted = ParseStatusList(accepted).value();
        target.timeoutSeconds = 60;
        Socket socket;
        return RunCheck(target, socket, test::ResolveLocally);
    }

    test::NginxServer nginx_;
};

TEST_F(NginxCheckTest, PageStatusAndTextAsServed) {
    const struct {
        const char* path;
        const char* text;
        const char* reason;
        std::uint32_t status;
    } cases[] = {
        {"/", "", "", 200},
        {"/", kPageText, "", 200},
        {"/index.html?x=1", kPageText, "", 200},
        {"/", "not on the page", "text missing", 200},
        {"/big.html", kLateText, "text missing", 200},  // only the first 64 KiB count
        {"/missing.html", "", "status 404", 404},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " \"" + c.text + "\"");
        const CheckResult result = Check(c.path, c.text);
        EXPECT_EQ(result.reason, c.reason);
        EXPECT_EQ(result.ok, std::string(c.reason).empty());
        EXPECT_EQ(result.httpStatus, c.status);
    }
}

// What a stopped application pool looks like: the port still accepts, every request gets 503.
TEST_F(NginxCheckTest, A503AfterReloadFailsTheHttpCheckNotTheConnect) {
    ASSERT_TRUE(Check("/").ok);
    ASSERT_TRUE(nginx_.Reload("location / { return 503; }"))
        << "the reload failed, or the old workers were still there after 30 s";

    const CheckResult http = Check("/");
    EXPECT_FALSE(http.ok);
    EXPECT_EQ(http.reason, "status 503");
    EXPECT_EQ(http.httpStatus, 503u);

    const CheckResult tcp = Check("");  // the plain connect
    EXPECT_TRUE(tcp.ok) << tcp.reason;

    const CheckResult accepting = Check("/", "", "200,503");
    EXPECT_TRUE(accepting.ok) << accepting.reason;
    EXPECT_EQ(accepting.httpStatus, 503u);
}

// The same server with a TLS listener beside the plain one, with the test root's certificate.
class NginxTlsCheckTest : public NginxCheckTest {
protected:
    void SetUp() override {
        if (!test::NginxServer::Installed()) {
            GTEST_SKIP() << test::NginxServer::kProgram << " is missing: install nginx-light";
        }
        ASSERT_EQ(test::TrustedTestCerts().Error(), "");
        nginx_.AlsoTls(test::TrustedTestCerts().Dir());
        NginxCheckTest::SetUp();
    }

    CheckResult CheckTls(bool tls, std::uint16_t port, TlsVerify verify,
                         const std::string& fingerprint = "", const std::string& path = "/",
                         const std::string& text = kPageText) {
        CheckTarget target;
        target.host = "127.0.0.1";
        target.port = port;
        target.path = path;
        target.hostHeader = verify == TlsVerify::Full ? "localhost" : "";
        target.text = text;
        target.timeoutSeconds = 60;
        target.tls = tls;
        target.tlsPeer.verify = verify;
        target.tlsPeer.fingerprint = fingerprint;
        Socket socket;
        return RunCheck(target, socket, test::ResolveLocally);
    }
};

TEST_F(NginxTlsCheckTest, PageOverTlsAsEachVerificationJudgesIt) {
    const std::string server = test::TrustedTestCerts().Fingerprint("server");
    const std::string other = test::TrustedTestCerts().Fingerprint("untrusted");
    const std::uint16_t tlsPort = nginx_.TlsPort();
    const struct {
        const char* name;
        bool tls;
        std::uint16_t port;
        TlsVerify verify;
        std::string fingerprint;
        const char* reason;  // a TLS reason is matched at its start
        std::uint32_t status;
    } cases[] = {
        {"none", true, tlsPort, TlsVerify::None, "", "", 200},
        {"full", true, tlsPort, TlsVerify::Full, "", "", 200},
        {"fingerprint", true, tlsPort, TlsVerify::Fingerprint, server, "", 200},
        {"another fingerprint", true, tlsPort, TlsVerify::Fingerprint, other,
         "TLS certificate SHA-256 is not the fingerprint set", 0},
        // nginx answers the plain port's first bytes, a client hello, with a plain 400.
        {"TLS to the plain port", true, nginx_.Port(), TlsVerify::None, "", "TLS handshake", 0},
        // What a check without TLS has always met at a TLS port.
        {"plain to the TLS port", false, tlsPort, TlsVerify::None, "", "status 400", 400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CheckResult result = CheckTls(c.tls, c.port, c.verify, c.fingerprint);
        const std::string reason = c.reason;
        if (reason.starts_with("TLS")) {
            EXPECT_TRUE(result.reason.starts_with(reason)) << result.reason;
        } else {
            EXPECT_EQ(result.reason, reason);
        }
        EXPECT_EQ(result.ok, reason.empty());
        EXPECT_EQ(result.httpStatus, c.status);
    }
}

// A stopped application pool behind HTTPS: the handshake still succeeds, the page does not.
TEST_F(NginxTlsCheckTest, A503OverTlsFailsTheCheckNotTheHandshake) {
    ASSERT_TRUE(CheckTls(true, nginx_.TlsPort(), TlsVerify::Full).ok);
    ASSERT_TRUE(nginx_.Reload("location / { return 503; }"))
        << "the reload failed, or the old workers were still there after 30 s";
    const CheckResult https = CheckTls(true, nginx_.TlsPort(), TlsVerify::Full);
    EXPECT_FALSE(https.ok);
    EXPECT_EQ(https.reason, "status 503");
    EXPECT_EQ(https.httpStatus, 503u);
    const CheckResult handshake = CheckTls(true, nginx_.TlsPort(), TlsVerify::Full, "", "", "");
    EXPECT_TRUE(handshake.ok) << handshake.reason;
}

}  // namespace
}  // namespace tolvane
