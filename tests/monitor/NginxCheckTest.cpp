// The check against a real web server: Debian's nginx-light, run by the test as its own user on
// a loopback port, with its configuration, pid file, logs and temporary folders in a test folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "monitor/HttpCheck.h"
#include "tests/support/PosixSupport.h"
#include "tests/support/TestSupport.h"

namespace tolvane {
namespace {

constexpr const char* kNginx = "/usr/sbin/nginx";
constexpr const char* kPageText = "Tolvane test page";
constexpr const char* kLateText = "past the first 64 KiB";

class Nginx {
public:
    Nginx() : port_(test::UnusedLoopbackPort()) {
        std::filesystem::create_directories(dir_.File("www"));
        std::filesystem::create_directories(dir_.File("temp"));
        test::WriteFile(dir_.File("www/index.html"),
                        std::string("<html><body><h1>") + kPageText + "</h1></body></html>\n");
        test::WriteFile(dir_.File("www/big.html"), std::string(70 * 1024, 'x') + kLateText);
    }
    Nginx(const Nginx&) = delete;
    Nginx& operator=(const Nginx&) = delete;

    std::uint16_t Port() const { return port_; }

    // Serves the folder's pages; nothing when it started, else why not.
    std::string Start() {
        WriteConfig("location / { }");
        if (!server_.Start(Command({}))) {
            return "nginx cannot be started";
        }
        const bool up = test::WaitUntil(
            [&] { return test::LoopbackAnswers(port_) || !server_.Poll().running; },
            std::chrono::seconds(30));
        if (!up || !server_.Poll().running) {
            return "nginx did not come up: " + test::ReadFile(dir_.File("error.log"));
        }
        return "";
    }

    // Loads the location anew as an administrator does: the running master re-reads its
    // configuration. The workers that serve the new one come a moment later.
    bool Reload(const std::string& location) {
        WriteConfig(location);
        ChildProcess reload;
        return reload.Start(Command({"-s", "reload"})) &&
               test::WaitForEnd(reload, "nginx -s reload").exitCode == 0;
    }

private:
    std::vector<std::string> Command(const std::vector<std::string>& extra) const {
        std::vector<std::string> argv{kNginx, "-p", dir_.Path() + "/", "-c", dir_.File("nginx.conf"),
                                      "-e", dir_.File("error.log")};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return argv;
    }

    void WriteConfig(const std::string& location) const {
        const std::string temp = dir_.File("temp");
        test::WriteFile(
            dir_.File("nginx.conf"),
            // As root the workers would take the user nobody, who cannot enter the test folder.
            std::string(::geteuid() == 0 ? "user root root;\n" : "") +
                "daemon off;\nworker_processes 1;\npid " + dir_.File("nginx.pid") +
                ";\nerror_log " + dir_.File("error.log") +
                ";\nevents { worker_connections 32; }\n"
                "http {\n  access_log off;\n  default_type text/html;\n"
                "  client_body_temp_path " + temp + "/body;\n  proxy_temp_path " + temp +
                "/proxy;\n  fastcgi_temp_path " + temp + "/fastcgi;\n  uwsgi_temp_path " + temp +
                "/uwsgi;\n  scgi_temp_path " + temp + "/scgi;\n"
                "  server {\n    listen 127.0.0.1:" + std::to_string(port_) + ";\n    root " +
                dir_.File("www") + ";\n    " + location + "\n  }\n}\n");
    }

    test::TempDir dir_;
    std::uint16_t port_;
    test::TestChild server_;  // ended with its workers, however the test ends
};

class NginxCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::access(kNginx, X_OK) != 0) {
            GTEST_SKIP() << kNginx << " is missing: install Debian's nginx-light";
        }
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

    Nginx nginx_;
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
    ASSERT_TRUE(nginx_.Reload("location / { return 503; }"));
    ASSERT_TRUE(test::WaitUntil([&] { return Check("/").httpStatus == 503; },
                                std::chrono::seconds(30)))
        << "nginx still did not answer 503 30 s after the reload";

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

}  // namespace
}  // namespace tolvane
