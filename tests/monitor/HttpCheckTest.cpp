// The check against servers that answer badly or not at all (tests/monitor/http_peer.py), and
// the plain TCP connect behind an empty path.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "monitor/HttpCheck.h"
#include "tests/support/HttpPeer.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

// A bound no answer of the peer needs, so that only the shapes that hang meet the time-out.
constexpr std::uint32_t kPatient = 60;
constexpr std::uint32_t kShort = 2;

CheckTarget TargetAt(const std::string& host, std::uint32_t port, const std::string& path = "") {
    CheckTarget target;
    target.host = host;
    target.port = port;
    target.path = path;
    return target;
}

class HttpCheckTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { peer = std::make_unique<test::HttpPeer>(); }
    static void TearDownTestSuite() { peer.reset(); }
    void SetUp() override { ASSERT_NE(peer->Port(), 0) << peer->Error(); }

    static CheckTarget Target(const std::string& path) {
        CheckTarget target = TargetAt("127.0.0.1", peer->Port(), path);
        target.timeoutSeconds = kPatient;
        return target;
    }

    static std::unique_ptr<test::HttpPeer> peer;
};
std::unique_ptr<test::HttpPeer> HttpCheckTest::peer;

TEST_F(HttpCheckTest, EachAnswerEndsTheCheckWithItsReason) {
    const struct Case {
        const char* path;
        const char* text;
        const char* accepted;
        bool hangs;  // the answer never completes: the check ends at its time-out
        const char* reason;  // empty: the check passes
        std::uint32_t status;
    } cases[] = {
        {"/ok", "", "200-399", false, "", 200},
        {"/ok", "needle", "200-399", false, "", 200},
        {"/ok", "absent", "200-399", false, "text missing", 200},
        {"/503", "", "200-399", false, "status 503", 503},
        {"/503", "", "200,503", false, "", 503},
        {"/no-such-page", "", "200-399", false, "status 404", 404},
        {"/redirect", "", "200-399", false, "", 302},  // not followed
        {"/redirect", "", "200", false, "status 302", 302},
        {"/lf-only", "needle", "200", false, "", 200},
        {"/early-hints", "needle", "200", false, "", 200},
        {"/silent", "", "200-399", true, "timed out", 0},
        {"/trickle", "", "200-399", true, "timed out", 0},
        {"/trickle-body", "needle", "200-399", true, "timed out", 200},
        {"/close", "", "200-399", false, "closed early", 0},
        {"/status-then-close", "", "200-399", false, "closed early", 0},
        {"/short-body", "needle", "200-399", false, "closed early", 200},
        {"/short-body", "only this", "200-399", false, "", 200},
        // These keep the connection open: only judging what came ends the check. The garbage
        // is not even followed by a blank line.
        {"/garbage", "", "200-399", false, "malformed response", 0},
        {"/bad-status", "", "200-399", false, "malformed response", 0},
        {"/big-header", "", "200-399", false, "headers too large", 0},
        {"/endless-head", "", "200-399", false, "headers too large", 0},
        {"/chunked", "second part", "200", false, "", 200},  // in the later chunk
        {"/chunked", "needle", "200", false, "", 200},       // split over the two
        {"/chunked", "absent", "200", false, "text missing", 200},
        {"/bad-chunk", "needle", "200", false, "malformed response", 200},
        {"/endless", "needle", "200", false, "text missing", 200},
        {"/text-at-limit", "needle", "200", false, "", 200},
        {"/text-past-limit", "needle", "200", false, "text missing", 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " text \"" + c.text + "\" accepting " + c.accepted);
        CheckTarget target = Target(c.path);
        target.text = c.text;
        target.accepted = ParseStatusList(c.accepted).value();
        target.timeoutSeconds = c.hangs ? kShort : kPatient;
        Socket socket;
        const CheckResult result = RunCheck(target, socket, test::ResolveLocally);
        EXPECT_EQ(result.reason, c.reason);
        EXPECT_EQ(result.ok, std::string(c.reason).empty());
        EXPECT_EQ(result.httpStatus, c.status);
        if (c.hangs) {
            EXPECT_GE(result.durationMs, kShort * 1000) << "ended by the time-out, not before";
        }
    }
}

// The peer answers with the request as it came.
TEST_F(HttpCheckTest, SendsOneGetWithHostAgentAndClose) {
    const std::string agent = "User-Agent: IIS-Tolvane/" TOLVANE_VERSION "\r\n";
    const struct {
        const char* hostHeader;
        std::string host;
    } cases[] = {
        {"", "127.0.0.1:" + std::to_string(peer->Port())},
        {"www.example.test", "www.example.test"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        CheckTarget target = Target("/echo?from=tolvane&x=%20");
        target.hostHeader = c.hostHeader;
        target.text = "GET /echo?from=tolvane&x=%20 HTTP/1.1\r\nHost: " + c.host + "\r\n" +
                      agent + "Connection: close\r\n\r\n";
        Socket socket;
        const CheckResult result = RunCheck(target, socket, test::ResolveLocally);
        EXPECT_TRUE(result.ok) << result.reason;
    }
}

// Nothing that could add lines to the request is sent; nothing is even connected.
TEST(HttpCheck, RefusesARequestThatWouldSplit) {
    const struct {
        const char* path;
        const char* hostHeader;
    } cases[] = {
        {"/a\r\nX-Injected: 1", ""},
        {"/a b", ""},
        {"no-slash", ""},
        {"/", "www.example.test\r\nX-Injected: 1"},
        {"/", "two words"},
    };
    test::LoopbackOnlyListener listener;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " / " + c.hostHeader);
        CheckTarget target = TargetAt("127.0.0.1", listener.Port(), c.path);
        target.hostHeader = c.hostHeader;
        Socket socket;
        const CheckResult result = RunCheck(target, socket, test::ResolveLocally);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.reason, "invalid request");
    }
    EXPECT_LT(listener.Accept(200), 0);
}

TEST(HttpCheck, NoAddressAndRefusalForBothKinds) {
    for (const char* path : {"", "/"}) {
        SCOPED_TRACE(std::string("path \"") + path + "\"");
        Socket unnamed;
        const CheckResult noAddress = RunCheck(
            TargetAt("no-such-host", 80, path), unnamed,
            [](const std::string&) -> std::optional<IPv4Address> { return std::nullopt; });
        EXPECT_FALSE(noAddress.ok);
        EXPECT_EQ(noAddress.reason, "no address");
        Socket refused;
        const CheckResult nobody = RunCheck(TargetAt("127.0.0.1", test::UnusedLoopbackPort(), path),
                                            refused, test::ResolveLocally);
        EXPECT_FALSE(nobody.ok);
        EXPECT_EQ(nobody.reason, "refused");
        EXPECT_EQ(nobody.httpStatus, 0u);
    }
}

// An empty path is the plain connect: the connection stays open with the caller, no byte sent.
TEST(HttpCheck, EmptyPathOnlyConnects) {
    test::LoopbackOnlyListener listener;
    Socket socket;
    const CheckResult result =
        RunCheck(TargetAt("127.0.0.1", listener.Port()), socket, test::ResolveLocally);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.reason, "");
    EXPECT_EQ(result.httpStatus, 0u);
    const int accepted = listener.Accept(10000);
    ASSERT_GE(accepted, 0);
    EXPECT_TRUE(test::OpenAndSilent(accepted));
    socket.Close();
    EXPECT_TRUE(test::EndsWithoutData(accepted, 10000));
}

}  // namespace
}  // namespace tolvane
