// The TLS stream against tests/support/tls_peer.py's servers: every verdict of the shared table,
// and the decrypted bytes of an echo through each stream that opened.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

#include <memory>
#include <string>

#include "os/TlsStream.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TlsPeers.h"
#include "tests/support/TlsStreamCases.h"

namespace tolvane {
namespace {

Deadline After(std::chrono::milliseconds limit) {
    return std::chrono::steady_clock::now() + limit;
}

class TlsStreamTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const test::TestCerts& certs = test::TrustedTestCerts();
        if (!certs.Dir().empty()) {
            peers = std::make_unique<test::TlsPeers>(certs.Dir());
        }
    }
    static void TearDownTestSuite() { peers.reset(); }
    void SetUp() override {
        ASSERT_EQ(test::TrustedTestCerts().Error(), "");
        ASSERT_EQ(peers->Error(), "");
    }

    // A connection to one of the peers with TLS opened over it, verified in full for localhost.
    static TlsOpening OpenFull(Socket& socket, const char* kind) {
        socket = Socket::CreateBoundTcp();
        const TlsPeer peer{TlsVerify::Full, "localhost", ""};
        if (!ConnectBefore(socket, test::kLoopbackAddress, peers->Port(kind),
                           After(test::kTlsPatient))) {
            return {nullptr, TlsFailure::Closed, "no connection"};
        }
        return OpenTls(socket, peer, After(test::kTlsPatient));
    }

    static std::unique_ptr<test::TlsPeers> peers;
};
std::unique_ptr<test::TlsPeers> TlsStreamTest::peers;

// Reads one line a byte at a time, as the mail's line reader does.
std::string LineByBytes(TlsStream& stream, Deadline deadline) {
    std::string line;
    char byte = 0;
    std::size_t received = 0;
    while (stream.ReceiveSome(&byte, 1, received, deadline, nullptr) == IoStatus::Done) {
        line += byte;
        if (byte == '\n') {
            break;
        }
    }
    return line;
}

TEST_F(TlsStreamTest, EachPeerGetsItsVerdictAndAnOpenStreamEchoes) {
    for (const test::TlsStreamCase& c : test::kTlsStreamCases) {
        SCOPED_TRACE(c.name);
        Socket socket = Socket::CreateBoundTcp();
        ASSERT_TRUE(ConnectBefore(socket, test::kLoopbackAddress, peers->Port(c.peer),
                                  After(test::kTlsPatient)));
        TlsPeer peer{c.verify, c.host, ""};
        if (*c.fingerprint != '\0') {
            peer.fingerprint = test::TrustedTestCerts().Fingerprint(c.fingerprint);
        }
        const TlsOpening opening = OpenTls(socket, peer, After(c.limit));
        EXPECT_EQ(opening.failure, c.expected) << opening.Reason(peer);
        EXPECT_EQ(opening.stream == nullptr, c.expected != TlsFailure::None);
        EXPECT_EQ(opening.Reason(peer).find('\n'), std::string::npos);
        if (c.expected == TlsFailure::FingerprintMismatch) {
            // The certificate's own fingerprint, for the user to copy.
            EXPECT_EQ(opening.detail, test::TrustedTestCerts().Fingerprint("server"));
        }
        if (opening.stream == nullptr) {
            continue;
        }
        const std::string kind = c.peer;
        if (kind != "other") {
            EXPECT_EQ(opening.stream->PeerFingerprint(),
                      test::TrustedTestCerts().Fingerprint(kind == "good" ? "server" : kind));
        }
        const Deadline deadline = After(test::kTlsPatient);
        ASSERT_EQ(opening.stream->SendAll("HELO one\r\nHELO two\r\n", deadline, nullptr),
                  IoStatus::Done);
        EXPECT_EQ(LineByBytes(*opening.stream, deadline), "echo: HELO one\r\n");
        char rest[64];
        std::size_t received = 0;
        std::string second;
        while (second.size() < 16 &&
               opening.stream->ReceiveSome(rest, sizeof rest, received, deadline, nullptr) ==
                   IoStatus::Done) {
            second.append(rest, received);
        }
        EXPECT_EQ(second, "echo: HELO two\r\n");
    }
}

TEST_F(TlsStreamTest, AStreamWhosePeerLeavesReportsClosed) {
    Socket socket;
    const TlsOpening opening = OpenFull(socket, "good");
    ASSERT_NE(opening.stream, nullptr) << opening.detail;
    // The peer's echo reader ends at the end of the client's sending side.
#ifdef _WIN32
    ASSERT_EQ(::shutdown(static_cast<SOCKET>(socket.Fd()), SD_SEND), 0);
#else
    ASSERT_EQ(::shutdown(socket.Fd(), SHUT_WR), 0);
#endif
    char byte = 0;
    std::size_t received = 0;
    EXPECT_EQ(opening.stream->ReceiveSome(&byte, 1, received, After(test::kTlsPatient), nullptr),
              IoStatus::Closed);
}

// A close_notify with the connection left open ends the stream as well, after the data before it.
TEST_F(TlsStreamTest, AServersCloseNotifyAloneReportsClosed) {
    Socket socket;
    const TlsOpening opening = OpenFull(socket, "closing");
    ASSERT_NE(opening.stream, nullptr) << opening.detail;
    const Deadline deadline = After(test::kTlsPatient);
    ASSERT_EQ(opening.stream->SendAll("QUIT\r\n", deadline, nullptr), IoStatus::Done);
    EXPECT_EQ(LineByBytes(*opening.stream, deadline), "echo: QUIT\r\n");
    char byte = 0;
    std::size_t received = 0;
    EXPECT_EQ(opening.stream->ReceiveSome(&byte, 1, received, deadline, nullptr), IoStatus::Closed);
}

}  // namespace
}  // namespace tolvane
