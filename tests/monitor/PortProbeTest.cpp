#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "monitor/PortProbe.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

TEST(PortProbe, ListenerSeesOneConnectionClosedWithoutData) {
    const struct {
        const char* host;
        std::uint32_t portOffset;
    } cases[] = {
        {"127.0.0.1", 0},
        {"localhost", 0},
        {"127.1", 0},          // dotted forms as inet_addr reads them
        {"127.0.0.1", 65536},  // the port is taken modulo 65536
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.host) + " +" + std::to_string(c.portOffset));
        test::LoopbackOnlyListener listener;
        Socket socket;
        ASSERT_TRUE(PortProbe(c.host, listener.Port() + c.portOffset, socket))
            << "the tests need \"localhost\" to resolve to 127.0.0.1 (an /etc/hosts line)";
        const int accepted = listener.Accept(10000);
        ASSERT_GE(accepted, 0) << "waited 10 s for the probe's connection";

        // The connection stays open for as long as the caller holds the socket.
        EXPECT_TRUE(test::OpenAndSilent(accepted));

        socket.Close();
        EXPECT_TRUE(test::EndsWithoutData(accepted, 10000)) << "closed without any data";
        EXPECT_LT(listener.Accept(200), 0) << "exactly one connection";
    }
}

TEST(PortProbe, NothingListeningFailsAtOnce) {
    const std::uint16_t port = test::UnusedLoopbackPort();
    Socket socket;
    const auto start = steady_clock::now();
    EXPECT_FALSE(PortProbe("127.0.0.1", port, socket));
    EXPECT_LT(steady_clock::now() - start, milliseconds(10000));
}

// The name is answered by the test, so no query leaves the machine.
TEST(PortProbe, UnresolvableNameFailsWithoutConnecting) {
    static std::string asked;
    test::LoopbackOnlyListener listener;
    Socket socket;
    EXPECT_FALSE(PortProbe("no-such-host", listener.Port(), socket,
                           [](const std::string& host) -> std::optional<IPv4Address> {
                               asked = host;
                               return std::nullopt;
                           }));
    EXPECT_EQ(asked, "no-such-host");
    // The socket exists but never connected anywhere.
    if (socket.IsOpen()) {
        EXPECT_FALSE(test::HasPeer(socket));
    }
    EXPECT_LT(listener.Accept(200), 0);
}

}  // namespace
}  // namespace tolvane
