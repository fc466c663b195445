// The desktop program as a new user starts it: its options, and what it says when a restart
// would reach no service.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

#include "os/Process.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;
using test::ReadFile;
using test::ShellQuote;

const std::string kProgram = std::string(TOLVANE_BIN_DIR) + "/tolvane";

TEST(ProgramStart, HelpAndVersionAnswerWithoutAWindow) {
    test::TempDir dir;
    test::UsePrivateInstanceMarker();
    struct Case {
        const char* option;
        std::string out;  // the start of standard output
    };
    const Case cases[] = {{"--version", "tolvane " PROJECT_VERSION "\n"},
                          {"--help", "usage: tolvane [--help | --version"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        ChildProcess child;
        ASSERT_TRUE(child.Start(std::vector<std::string>{
            "sh", "-c",
            "QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES=tolvane.app.info=true exec " +
                ShellQuote(kProgram) + " " + c.option + " >" + ShellQuote(dir.File("out")) + " 2>" +
                ShellQuote(dir.File("err"))}));
        EXPECT_EQ(child.Wait().exitCode, 0);
        EXPECT_EQ(ReadFile(dir.File("out")).rfind(c.out, 0), 0u) << ReadFile(dir.File("out"));
        EXPECT_EQ(ReadFile(dir.File("err")).find("window"), std::string::npos);
    }
}

TEST(ProgramStart, SaysOnceWhenNoServicesMapIsFound) {
    test::TempDir dir;
    test::UsePrivateInstanceMarker();
    const std::string missing = dir.File("services.conf");
    ChildProcess child;
    ASSERT_TRUE(child.Start(std::vector<std::string>{
        "sh", "-c",
        "QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES=tolvane.app.info=true TOLVANE_REGISTRY=" +
            ShellQuote(dir.File("store.reg")) + " TOLVANE_SERVICES=" + ShellQuote(missing) +
            " exec " + ShellQuote(kProgram) + " 2>" + ShellQuote(dir.File("err"))}));
    const bool painted = test::WaitUntil(
        [&] { return ReadFile(dir.File("err")).find("window painted") != std::string::npos; }, 30s);
    ::kill(child.Pid(), SIGTERM);
    child.Wait();
    ASSERT_TRUE(painted) << ReadFile(dir.File("err"));
    const std::string note =
        "tolvane: a restart with the current settings uses w3svc, "
        "iisadmin, mtxstop, msftpsvc and smtpsvc; no services map found "
        "(tried " +
        missing +
        "), so it reaches none of them. See the "
        "services map in tolvane(1).\n";
    EXPECT_EQ(test::CountOf(ReadFile(dir.File("err")), note), 1u) << ReadFile(dir.File("err"));
}

}  // namespace
}  // namespace tolvane
