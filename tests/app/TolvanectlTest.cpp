// tolvanectl as users run it: real processes, a real listener, the real stand-ins and files.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "os/CodePage.h"
#include "os/Process.h"
#include "tests/support/NginxServer.h"
#include "tests/support/NumberCases.h"
#include "tests/support/PosixSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TlsPeers.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

using Result = test::RunResult;

// The service tools beside tolvanectl in a private folder; the services map is found there.
class Install : public test::PrivateInstall {
public:
    Install() : PrivateInstall(TOLVANE_BIN_DIR, {"tolvanectl", "command.com", "net", "mtxstop"}) {
        ::unsetenv("TOLVANE_SERVICES");
    }
};

using test::ReadPid;

// `tolvanectl monitor --verbose` of the install, its standard output into `out` and its
// standard error beside it (`out`.err).
bool StartVerboseMonitor(test::TestChild& monitor, Install& install, const std::string& out) {
    return monitor.Start(std::vector<std::string>{
        "sh", "-c",
        "exec " + test::ShellQuote(install.Bin("tolvanectl")) + " monitor --verbose >" +
            test::ShellQuote(out) + " 2>" + test::ShellQuote(out + ".err")});
}

// The log's texts without their stamps, in UTF-8, checking each line's form.
std::vector<std::string> LogTexts(const std::string& contents) {
    std::vector<std::string> texts;
    std::size_t at = 0;
    while (at < contents.size()) {
        const auto end = contents.find("\r\n", at);
        if (end == std::string::npos) {
            ADD_FAILURE() << "log line without CR LF";
            break;
        }
        const std::string line = contents.substr(at, end - at);
        EXPECT_TRUE(line.size() > 20 && line[4] == '/' && line[10] == ' ' && line[19] == '\t')
            << line;
        texts.push_back(Cp932ToUtf8(line.substr(20)));
        at = end + 2;
    }
    return texts;
}

TEST(TolvanectlEndToEnd, RestartsAStoppedServerAndMonitoringGoesOn) {
    // The monitor probes the machine's name; the listener answers on every address.
    const test::MachineName machine = test::OwnMachineName();
    ASSERT_TRUE(machine.address) << machine.Need();
    Install install;
    const std::uint16_t port = test::PortFreeEverywhere();
    const std::string pidFile = install.dir.File("listener.pid");
    const std::string calls = install.dir.File("calls");
    const std::string startListener =
        std::string(TEST_LISTENER) + " " + std::to_string(port) + " " + pidFile;
    auto record = [&](const std::string& what) {
        return "sh -c \"echo " + what + " >> " + calls + "\"";
    };
    // The web server's stop kills the listener; its start brings it back. Every other
    // service call is only recorded.
    WriteFile(install.dir.File("services.conf"),
              "# services of the end-to-end test\n"
              "w3svc.stop = sh -c \"echo stop w3svc >> " +
                  calls + "; kill $(cat " + pidFile + "); rm -f " + pidFile +
                  "\"\n"
                  "w3svc.start = sh -c \"echo start w3svc >> " +
                  calls + "; " + startListener +
                  " >/dev/null 2>&1 &\"\n"
                  "iisadmin.stop = " +
                  record("stop iisadmin") +
                  "\n"
                  "mtxstop = " +
                  record("mtxstop") +
                  "\n"
                  "msftpsvc.start = " +
                  record("start msftpsvc") +
                  "\n"
                  "smtpsvc.start = " +
                  record("start smtpsvc") + "\n");
    ASSERT_EQ(install.Run({"set", "Port=" + std::to_string(port), "Interval=1"}).exitCode, 0);
    // The restarted listener runs in the group of the service command that started it, so it
    // is ended by its pid file, however the test ends.
    const struct EndRestarted {
        std::string pidFile;
        ~EndRestarted() {
            if (const pid_t restarted = ReadPid(pidFile); restarted > 0) {
                ::kill(restarted, SIGKILL);
            }
        }
    } endRestarted{pidFile};

    test::TestChild listener;
    ASSERT_TRUE(
        listener.Start(std::vector<std::string>{TEST_LISTENER, std::to_string(port), pidFile}));
    ASSERT_TRUE(test::WaitUntil([&] { return ReadPid(pidFile) > 0; }, 10s))
        << "waited for the test listener to listen on port " << port;

    const std::string out = install.dir.File("monitor.out");
    test::TestChild monitor;
    ASSERT_TRUE(StartVerboseMonitor(monitor, install, out));

    ASSERT_TRUE(test::WaitUntil([&] { return test::CountOf(ReadFile(out), "  OK\n") >= 1; }, 30s))
        << "waited for the first successful check. " << machine.Need() << "\n"
        << ReadFile(out);
    ::kill(listener.Pid(), SIGKILL);
    listener.WaitForEnd("the test listener to end on SIGKILL");
    ASSERT_TRUE(test::WaitUntil(
        [&] { return ReadFile(out).find("IISを再起動しました  ") != std::string::npos; }, 60s))
        << "waited for the restart to end\n"
        << ReadFile(out);
    // The restarted listener answers a later tick.
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            const std::string text = ReadFile(out);
            return text.find("  OK\n", text.find("IISを再起動しました  ")) != std::string::npos;
        },
        60s))
        << "waited for a successful check after the restart\n"
        << ReadFile(out);

    ::kill(monitor.Pid(), SIGTERM);
    const ExitState ended = monitor.WaitForEnd("tolvanectl monitor to end on SIGTERM");
    EXPECT_TRUE(test::LoopbackAnswers(port));
    EXPECT_EQ(ended.exitCode, 0);

    EXPECT_EQ(ReadFile(calls),
              "stop w3svc\nstop iisadmin\nmtxstop\nstart w3svc\nstart msftpsvc\nstart smtpsvc\n");
    const std::vector<std::string> logged{
        "接続できませんでした IISの再起動を開始します",
        "World Wide Web Publishing Service を停止中...",
        "IIS Admin Service を停止中...",
        "サーバープロセスを停止中...",
        "停止完了",
        "World Wide Web Publishing Service を開始中...",
        "FTP Publishing Service を開始中...",
        "Microsoft SMTP Service を開始中...",
        "IISを再起動しました",
    };
    ASSERT_TRUE(fs::exists(install.LogPath()));
    // The log holds CP932; tolvanectl log shows it in the locale's charset.
    const Result shown = install.Run({"log"});
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_EQ(LogTexts(ReadFile(install.LogPath())).size(), logged.size() + 1);
    std::vector<std::string> shownTexts;
    for (std::size_t at = 0; at < shown.out.size();) {
        const auto end = shown.out.find('\n', at);
        shownTexts.push_back(shown.out.substr(at + 20, end - at - 20));
        at = end + 1;
    }
    // The first successful check after the restart says how long the server took to answer.
    ASSERT_FALSE(shownTexts.empty());
    const std::string recovered = shownTexts.back();
    EXPECT_TRUE(recovered.starts_with("応答が戻りました（再起動の開始から ") &&
                recovered.ends_with(" 秒）"))
        << recovered;
    shownTexts.pop_back();
    EXPECT_EQ(shownTexts, logged);

    // Every status line is "time TAB text".
    const std::string text = ReadFile(out);
    for (std::size_t at = 0; at < text.size();) {
        const auto end = text.find('\n', at);
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(text[at + 19], '\t') << text.substr(at, end - at);
        at = end + 1;
    }
}

// The stored CheckTls, CheckVerify and CheckFingerprint reach the monitor: nginx serves the page
// over TLS (a plain request to that port gets 400), then, reloaded, answers 503 there.
TEST(TolvanectlEndToEnd, RestartsAServerThatAnswers503OverTls) {
    if (!test::NginxServer::Installed()) {
        GTEST_SKIP() << test::NginxServer::kProgram << " is missing: install nginx-light";
    }
    const test::MachineName machine = test::OwnMachineName();
    ASSERT_TRUE(machine.address) << machine.Need();
    const test::TestCerts& certs = test::TrustedTestCerts();
    ASSERT_EQ(certs.Error(), "");
    test::NginxServer nginx(*machine.address);
    nginx.AlsoTls(certs.Dir());
    WriteFile(nginx.Page("index.html"), "<p>Tolvane over TLS</p>\n");
    ASSERT_EQ(nginx.Start(), "");

    Install install;
    const std::string calls = install.dir.File("calls");
    WriteFile(install.dir.File("services.conf"),
              "w3svc.stop = sh -c \"echo stop w3svc >> " + calls + "\"\n" +
                  "w3svc.start = sh -c \"echo start w3svc >> " + calls + "\"\n");
    const std::string figures = install.dir.File("tolvane.prom");
    ASSERT_EQ(
        install
            .Run({"set", "Port=" + std::to_string(nginx.TlsPort()), "Interval=1", "CheckFtpSvc=0",
                  "CheckSmtpSvc=0", "CheckPath=/", "CheckText=Tolvane over TLS", "CheckTls=1",
                  "CheckVerify=fingerprint", "CheckFingerprint=" + certs.Fingerprint("server"),
                  "MetricsFile=" + figures})
            .exitCode,
        0);

    const std::string out = install.dir.File("monitor.out");
    test::TestChild monitor;
    ASSERT_TRUE(StartVerboseMonitor(monitor, install, out));
    ASSERT_TRUE(test::WaitUntil([&] { return test::CountOf(ReadFile(out), "  OK\n") >= 1; }, 30s))
        << "waited for the first successful check over TLS. " << machine.Need() << "\n"
        << ReadFile(out) << ReadFile(out + ".err");
    EXPECT_EQ(ReadFile(calls), "");

    ASSERT_TRUE(nginx.Reload("location / { return 503; }"));
    ASSERT_TRUE(test::WaitUntil(
        [&] { return ReadFile(out).find("IISを再起動しました  ") != std::string::npos; }, 60s))
        << "waited for the restart\n"
        << ReadFile(out);
    EXPECT_TRUE(test::WaitUntil(
        [&] {
            return ReadFile(figures).find("tolvane_check_http_status 503\n") != std::string::npos;
        },
        30s))
        << ReadFile(figures);
    ::kill(monitor.Pid(), SIGTERM);
    EXPECT_EQ(monitor.WaitForEnd("tolvanectl monitor to end on SIGTERM").exitCode, 0);
    EXPECT_TRUE(ReadFile(calls).starts_with("stop w3svc\nstart w3svc\n")) << ReadFile(calls);
    const std::vector<std::string> texts = LogTexts(ReadFile(install.LogPath()));
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front(), "接続できませんでした IISの再起動を開始します");
}

TEST(Tolvanectl, MonitorRefusesOutOfRangeNumbersWithoutStartingAnything) {
    struct Case {
        std::string stored;  // a hand-edited store
        std::string message;
    };
    const Case cases[] = {
        {"\"Port\"=dword:00011170", "Please enter an integer between 0 and 65535."},
        {"\"Interval\"=dword:00000000", "Please enter an integer between 1 and 99999."},
        {"\"Interval\"=dword:000186a0", "Please enter an integer between 1 and 99999."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        Install install;
        fs::create_directories(install.dir.File("store"));
        WriteFile(install.Store(), "REGEDIT4\n\n[Zr.ClassDlg.1\\Setting]\n" + c.stored + "\n");
        const Result result = install.Run({"monitor"});
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_FALSE(fs::exists(install.LogPath()));
    }
}

// A hand-edited port past 65535 must not be probed modulo 65536.
TEST(Tolvanectl, ProbeRefusesAnOutOfRangePort) {
    Install install;
    fs::create_directories(install.dir.File("store"));
    WriteFile(install.Store(), "REGEDIT4\n\n[Zr.ClassDlg.1\\Setting]\n\"Port\"=dword:00011171\n");
    const Result result = install.Run({"probe"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "tolvanectl: Port 70001: Please enter an integer between 0 and 65535.\n");
    EXPECT_EQ(result.out, "");
}

TEST(Tolvanectl, SetRefusesBadInputAndThenWritesNothing) {
    const std::vector<std::string> refused[] = {
        {"Port=81", "Colour=1"},      // unknown name
        {"Port=81", "Interval=abc"},  // not a number
        {"Port=-1"},                  // not unsigned
        {"Port=65536"},               // out of range
        {"Interval=0"},
        {"Interval=100000"},
        {"SmtpPort=70000"},
        {"WithMail=2"},                           // flags are 0 or 1
        {"Port=81", "Subject=\xF0\x9F\x98\x80"},  // no CP932 form
        {"Body=a\\tb"},                           // unknown escape
        {"Port"},                                 // no value
    };
    Install install;
    ASSERT_EQ(install.Run({"set", "Port=8080"}).exitCode, 0);
    const std::string before = ReadFile(install.Store());
    for (const auto& args : refused) {
        std::vector<std::string> command{"set"};
        command.insert(command.end(), args.begin(), args.end());
        SCOPED_TRACE(command.back());
        const Result result = install.Run(command);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_FALSE(result.err.empty());
        EXPECT_EQ(ReadFile(install.Store()), before);
    }
}

// set reads a number as the windows read their fields: the same texts accepted, the same
// refused with the same messages.
TEST(Tolvanectl, SetTakesNumbersAsTheWindowsDo) {
    Install install;
    for (const test::NumberCase& c : test::NumberCases()) {
        SCOPED_TRACE(std::string(c.setting) + "=\"" + c.text + "\"");
        const std::string before = ReadFile(install.Store());
        const Result result = install.Run({"set", std::string(c.setting) + "=" + c.text});
        if (c.accepted) {
            EXPECT_EQ(result.exitCode, 0) << result.err;
            const std::string line =
                "\n" + std::string(c.setting) + "=" + std::to_string(c.value) + "\n";
            EXPECT_NE(("\n" + install.Run({"settings"}).out).find(line), std::string::npos);
        } else {
            EXPECT_EQ(result.exitCode, 2);
            EXPECT_EQ(result.err,
                      "tolvanectl: " + std::string(c.setting) + ": " + c.message + "\n");
            EXPECT_EQ(ReadFile(install.Store()), before);
        }
    }
}

TEST(Tolvanectl, SettingsRoundTripThroughSetWithEscapes) {
    Install install;
    const Result set =
        install.Run({"set", "Interval=99999", "Port=0", "CheckMsdtc=1", "Smtp=mail.example.org",
                     "Subject=再起動 \\\\ 通知", "Body=一行目\\r\\n二行目"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    const Result shown = install.Run({"settings"});
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_EQ(
        shown.out,
        "Port=0\nInterval=99999\nCheckFtpSvc=1\nCheckSmtpSvc=1\nCheckNntpSvc=0\nCheckMsdtc=1\n"
        "AutoStartupMode=0\nWithMail=0\nSmtp=mail.example.org\nSmtpPort=25\nFrom=\nTo=\n"
        "Subject=再起動 \\\\ 通知\nBody=一行目\\r\\n二行目\n"
        "CheckPath=\nCheckHost=\nCheckStatus=200-399\nCheckText=\nCheckTimeout=10\n"
        "FailureThreshold=1\nRestartGrace=0\nRestartLimit=0\nRestartWindow=60\n"
        "MailOnRecovery=0\nMetricsFile=\nSmtpSecurity=none\nSmtpVerify=full\nSmtpFingerprint=\n"
        "SmtpUser=\nSmtpPassword=\nSmtpTokenCommand=\nCheckTls=0\nCheckVerify=none\n"
        "CheckFingerprint=\n");
    // The store holds CP932 bytes with a real CR LF.
    EXPECT_NE(ReadFile(install.Store()).find("\"Body\"=\"\x88\xEA\x8D\x73\x96\xDA\\r\\n"),
              std::string::npos);
}

// The added values are refused as the fourteen are: exit 2, one line naming the value and its
// rule, nothing written, also when a good value comes beside the bad one.
TEST(Tolvanectl, SetRefusesAddedValuesOutsideTheirRules) {
    const std::string path = "empty, or a path that starts with \"/\" and holds no blanks or "
                             "control characters";
    const std::string statuses =
        "status codes from 100 to 599 and ranges such as 301-302, separated by commas";
    const std::string host = "empty, or a host name of visible ASCII characters without blanks";
    struct Case {
        std::string assignment;
        std::string message;
    };
    const Case cases[] = {
        {"CheckPath=health", "CheckPath: must be " + path},
        {"CheckPath=/a b", "CheckPath: must be " + path},
        {"CheckPath=/a\\tb", "CheckPath: a backslash must be followed by \\, r or n"},
        {"CheckPath=/a\\r\\nHost: evil", "CheckPath: must be " + path},
        {"CheckHost=www example", "CheckHost: must be " + host},
        {"CheckHost=ホスト", "CheckHost: must be " + host},
        {"CheckStatus=", "CheckStatus: must be " + statuses},
        {"CheckStatus=200-", "CheckStatus: must be " + statuses},
        {"CheckStatus=399-200", "CheckStatus: must be " + statuses},
        {"CheckStatus=600", "CheckStatus: must be " + statuses},
        {"CheckStatus=99", "CheckStatus: must be " + statuses},
        {"CheckStatus=200;301", "CheckStatus: must be " + statuses},
        {"CheckTimeout=0", "CheckTimeout: Please enter an integer between 1 and 300."},
        {"CheckTimeout=301", "CheckTimeout: Please enter an integer between 1 and 300."},
        {"FailureThreshold=0", "FailureThreshold: Please enter an integer between 1 and 100."},
        {"FailureThreshold=101", "FailureThreshold: Please enter an integer between 1 and 100."},
        {"RestartGrace=3601", "RestartGrace: Please enter an integer between 0 and 3600."},
        {"RestartGrace=-1", "RestartGrace: Please enter a positive integer."},
        {"RestartLimit=101", "RestartLimit: Please enter an integer between 0 and 100."},
        {"RestartWindow=0", "RestartWindow: Please enter an integer between 1 and 1440."},
        {"RestartWindow=1441", "RestartWindow: Please enter an integer between 1 and 1440."},
        {"MailOnRecovery=2", "MailOnRecovery: Please enter an integer between 0 and 1."},
        {"MetricsFile=\xF0\x9F\x98\x80",
         "MetricsFile: the text holds characters that Shift_JIS (CP932) cannot store"},
    };
    Install install;
    ASSERT_EQ(install.Run({"set", "CheckPath=/ok"}).exitCode, 0);
    const std::string before = ReadFile(install.Store());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.assignment);
        const Result result = install.Run({"set", "FailureThreshold=3", c.assignment});
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.err, "tolvanectl: " + c.message + "\n");
        EXPECT_EQ(ReadFile(install.Store()), before);
    }

    // Their bounds are taken, and a set writes only the added values it names.
    const Result set = install.Run({"set", "CheckStatus= 200 , 301-302", "CheckTimeout=300",
                                    "FailureThreshold=100", "RestartGrace=3600",
                                    "RestartLimit=100", "RestartWindow=1440", "MailOnRecovery=1",
                                    "CheckHost=www.example.jp", "MetricsFile=/tmp/図.prom"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    const std::string shown = install.Run({"settings"}).out;
    EXPECT_NE(shown.find("CheckPath=/ok\nCheckHost=www.example.jp\nCheckStatus= 200 , 301-302\n"
                         "CheckText=\nCheckTimeout=300\nFailureThreshold=100\nRestartGrace=3600\n"
                         "RestartLimit=100\nRestartWindow=1440\nMailOnRecovery=1\n"
                         "MetricsFile=/tmp/図.prom\n"),
              std::string::npos)
        << shown;
    EXPECT_EQ(ReadFile(install.Store()).find("CheckText"), std::string::npos);
}

// A hand-edited store that breaks an added value's rule is refused by monitor and probe as an
// out-of-range port is, naming the value.
TEST(Tolvanectl, MonitorAndProbeRefuseABrokenAddedValue) {
    Install install;
    fs::create_directories(install.dir.File("store"));
    WriteFile(install.Store(),
              "REGEDIT4\n\n[Zr.ClassDlg.1\\Setting]\n\"FailureThreshold\"=dword:00000000\n");
    for (const char* command : {"monitor", "probe"}) {
        SCOPED_TRACE(command);
        const Result result = install.Run({command});
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.err, "tolvanectl: FailureThreshold 0: Please enter an integer between "
                              "1 and 100.\n");
        EXPECT_EQ(result.out, "");
        EXPECT_FALSE(fs::exists(install.LogPath()));
    }
}

TEST(Tolvanectl, ProbeReportsTheTestResultAndUnknownCommandsShowUsage) {
    Install install;
    ASSERT_EQ(install.Run({"set", "Port=" + std::to_string(test::UnusedLoopbackPort())}).exitCode,
              0);
    Result probe = install.Run({"probe"});
    EXPECT_EQ(probe.exitCode, 1);
    EXPECT_EQ(probe.out, "接続テストに失敗しました。\n");

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"frobnicate"}, {"monitor", "extra"}}) {
        const Result usage = install.Run(args);
        EXPECT_EQ(usage.exitCode, 2);
        EXPECT_NE(usage.err.find("usage: tolvanectl"), std::string::npos);
    }
}

TEST(Tolvanectl, MonitorEndsCleanlyOnSignalsWhileWaiting) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        Install install;
        ASSERT_EQ(install
                      .Run({"set", "Port=" + std::to_string(test::UnusedLoopbackPort()),
                            "Interval=99999"})
                      .exitCode,
                  0);
        test::TestChild monitor;
        ASSERT_TRUE(
            monitor.Start(std::vector<std::string>{"sh", "-c", install.Command({"monitor"})}));
        // The first status line shows the monitor ready; a signal before it would test only
        // how early the handlers come.
        ASSERT_TRUE(
            test::WaitUntil([&] { return !ReadFile(install.dir.File("out")).empty(); }, 30s))
            << "waited for the monitor's first status line";
        ::kill(monitor.Pid(), sig);
        const ExitState state = monitor.WaitForEnd("tolvanectl monitor to end on the signal");
        EXPECT_EQ(state.exitCode, 0);
    }
}

// A restart whose first stop command waits for the test: the test does something to the
// monitor while "net stop w3svc" runs, then lets the command finish.
class RestartUnderWay {
public:
    // stdoutFifo: the monitor's standard output is a pipe the test holds, else a file.
    explicit RestartUnderWay(bool stdoutFifo, const std::string& prefix = "") {
        port_ = test::PortFreeEverywhere();
        WriteFile(
            install.dir.File("services.conf"),
            "w3svc.stop = sh -c \"echo stop w3svc >> " + Calls() + "; : > " + Stopping() +
                "; i=0; while [ ! -e " + Go() +
                " ] && [ $i -lt 1200 ]; do sleep 0.05; i=$((i+1)); done; echo stopped w3svc >> " +
                Calls() + "\"\n" + "w3svc.start = sh -c \"echo start w3svc >> " + Calls() + "; " +
                TEST_LISTENER + " " + std::to_string(port_) + " " + PidFile() +
                " >/dev/null 2>&1 &\"\n");
        EXPECT_EQ(install
                      .Run({"set", "Port=" + std::to_string(port_), "Interval=99999",
                            "CheckFtpSvc=0", "CheckSmtpSvc=0"})
                      .exitCode,
                  0);
        const std::string out = install.dir.File("monitor.out");
        if (stdoutFifo) {
            EXPECT_EQ(::mkfifo(out.c_str(), 0600), 0);
            reader_ = ::open(out.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        }
        // A session of its own, as a terminal's job: a signal to its group reaches the
        // monitor and whatever runs in its group, never the test.
        EXPECT_TRUE(monitor.Start(std::vector<std::string>{
            "sh", "-c",
            prefix + "exec setsid " + test::ShellQuote(install.Bin("tolvanectl")) + " monitor >" +
                test::ShellQuote(out) + " 2>" + test::ShellQuote(out + ".err")}));
    }

    ~RestartUnderWay() {
        if (reader_ >= 0) {
            ::close(reader_);
        }
        if (monitor.Started() && monitor.Poll().running) {
            ::kill(monitor.Pid(), SIGKILL);
            monitor.Wait();
        }
        if (const pid_t listener = ReadPid(PidFile()); listener > 0) {
            ::kill(listener, SIGKILL);
        }
    }

    bool WaitForStop() {
        return test::WaitUntil([&] { return fs::exists(Stopping()); }, 60s);
    }
    void LetStopFinish() { WriteFile(Go(), ""); }
    void ClosePipe() {
        ::close(reader_);
        reader_ = -1;
    }

    std::vector<std::string> Logged() { return LogTexts(ReadFile(install.LogPath())); }
    bool Restarted() {
        const auto texts = Logged();
        return !texts.empty() && texts.back() == "IISを再起動しました";
    }
    std::string CallsMade() { return ReadFile(Calls()); }
    bool ListenerBack() { return test::LoopbackAnswers(port_); }

    Install install;
    ChildProcess monitor;

private:
    std::string Calls() const { return install.dir.File("calls"); }
    std::string Stopping() const { return install.dir.File("stopping"); }
    std::string Go() const { return install.dir.File("go"); }
    std::string PidFile() const { return install.dir.File("listener.pid"); }

    std::uint16_t port_ = 0;
    int reader_ = -1;
};

TEST(TolvanectlEndToEnd, ARestartUnderWayRunsToItsEndWhateverSignalComes) {
    struct Case {
        const char* name;
        bool stdoutFifo;
        bool endsMonitor;
        std::function<void(RestartUnderWay&)> act;
    };
    const Case cases[] = {
        {"standard output a closed pipe", true, false, [](RestartUnderWay& r) { r.ClosePipe(); }},
        {"SIGHUP", false, true, [](RestartUnderWay& r) { ::kill(r.monitor.Pid(), SIGHUP); }},
        {"SIGINT to the whole process group", false, true,
         [](RestartUnderWay& r) { ::kill(-r.monitor.Pid(), SIGINT); }},
        {"SIGTERM", false, true, [](RestartUnderWay& r) { ::kill(r.monitor.Pid(), SIGTERM); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RestartUnderWay restart(c.stdoutFifo);
        ASSERT_TRUE(restart.WaitForStop());
        c.act(restart);
        restart.LetStopFinish();
        if (c.endsMonitor) {
            const ExitState ended =
                test::WaitForEnd(restart.monitor, "tolvanectl monitor to end", 120s);
            ASSERT_FALSE(ended.running);
            EXPECT_EQ(ended.exitCode, 0);
        } else {
            ASSERT_TRUE(test::WaitUntil(
                [&] { return restart.Restarted() || !restart.monitor.Poll().running; }, 120s))
                << "waited for the restart to end";
            ASSERT_TRUE(restart.monitor.Poll().running)
                << "the monitor must go on: " << restart.monitor.Poll().exitCode;
            EXPECT_TRUE(restart.Restarted());
            ::kill(restart.monitor.Pid(), SIGTERM);
            EXPECT_EQ(
                test::WaitForEnd(restart.monitor, "tolvanectl monitor to end on SIGTERM", 120s)
                    .exitCode,
                0);
        }
        // Every row ran, the stop command to its end, and the restart finished before the
        // monitor ended.
        EXPECT_EQ(restart.CallsMade(), "stop w3svc\nstopped w3svc\nstart w3svc\n");
        const std::vector<std::string> logged{
            "接続できませんでした IISの再起動を開始します",
            "World Wide Web Publishing Service を停止中...",
            "IIS Admin Service を停止中...",
            // The map has no iisadmin: net says so and fails.
            "コマンドが失敗しました（終了コード 2）: command.com /C net stop iisadmin /y",
            "サーバープロセスを停止中...",
            "停止完了",
            "World Wide Web Publishing Service を開始中...",
            "IISを再起動しました",
        };
        EXPECT_EQ(restart.Logged(), logged);
        EXPECT_TRUE(test::WaitUntil([&] { return restart.ListenerBack(); }, 30s))
            << "waited for the restarted listener to answer";
    }
}

// One monitor per machine: a second one is refused while the first restarts, and says which
// copy monitors; the other commands stay usable beside it.
TEST(TolvanectlEndToEnd, ASecondMonitorIsRefusedWhileTheFirstRestartsAlone) {
    RestartUnderWay restart(false);
    ASSERT_TRUE(restart.WaitForStop());
    const Result second = restart.install.Run({"monitor"});
    EXPECT_EQ(second.exitCode, 3);
    EXPECT_EQ(second.err, "tolvanectl: tolvanectl monitor (process " +
                              std::to_string(restart.monitor.Pid()) +
                              ") already monitors this machine\n");
    EXPECT_EQ(second.out, "");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"settings"}, {"log"}, {"set", "CheckNntpSvc=0"}}) {
        EXPECT_EQ(restart.install.Run(args).exitCode, 0) << args.front();
    }
    EXPECT_EQ(restart.install.Run({"probe"}).exitCode, 1);

    restart.LetStopFinish();
    ASSERT_TRUE(test::WaitUntil([&] { return restart.Restarted(); }, 120s))
        << "waited for the restart to end";
    ::kill(restart.monitor.Pid(), SIGTERM);
    EXPECT_EQ(
        test::WaitForEnd(restart.monitor, "tolvanectl monitor to end on SIGTERM", 120s).exitCode,
        0);
    EXPECT_EQ(restart.CallsMade(), "stop w3svc\nstopped w3svc\nstart w3svc\n");
    // Once the first has ended, a monitor starts again; it finds the restarted server.
    fs::remove(restart.install.dir.File("out"));
    test::TestChild again;
    ASSERT_TRUE(
        again.Start(std::vector<std::string>{"sh", "-c", restart.install.Command({"monitor"})}));
    EXPECT_TRUE(
        test::WaitUntil([&] { return !ReadFile(restart.install.dir.File("out")).empty(); }, 30s))
        << "waited for the second monitor's first status line";
    ::kill(again.Pid(), SIGTERM);
    EXPECT_EQ(again.WaitForEnd("tolvanectl monitor to end on SIGTERM", 120s).exitCode, 0);
}

// A log that reaches a file-size limit half-way through a line: the line is lost whole, and
// the monitor goes on monitoring.
TEST(TolvanectlEndToEnd, ALogPastASizeLimitKeepsOnlyWholeLines) {
    Install install;
    ASSERT_EQ(install
                  .Run({"set", "Port=" + std::to_string(test::UnusedLoopbackPort()), "Interval=1",
                        "CheckFtpSvc=0", "CheckSmtpSvc=0"})
                  .exitCode,
              0);
    const std::string earlier = "2026/12/10 00:00:00\tearlier\r\n";
    WriteFile(install.LogPath(), earlier);
    const std::string calls = install.dir.File("calls");
    WriteFile(install.dir.File("services.conf"),
              "w3svc.start = sh -c \"echo start w3svc >> " + calls + "\"\n");
    // Room for the restart's first line (66 bytes) and "停止完了" (30), not for the others.
    // The limit holds for every file the monitor writes, so its output goes nowhere.
    const std::size_t limit = earlier.size() + 100;
    test::TestChild monitor;
    ASSERT_TRUE(monitor.Start(std::vector<std::string>{
        "sh", "-c",
        "exec prlimit --fsize=" + std::to_string(limit) + " " +
            test::ShellQuote(install.Bin("tolvanectl")) + " monitor >/dev/null 2>&1"}));
    // Two restarts: the second shows that monitoring went on after the lost lines.
    const bool twice =
        test::WaitUntil([&] { return test::CountOf(ReadFile(calls), "start w3svc") >= 2; }, 120s);
    const ExitState before = monitor.Poll();
    if (before.running) {
        ::kill(monitor.Pid(), SIGTERM);
    }
    const ExitState ended = monitor.WaitForEnd("tolvanectl monitor to end on SIGTERM");
    EXPECT_TRUE(twice) << "waited for two restarts";
    EXPECT_EQ(ended.exitCode, 0);
    const std::string log = ReadFile(install.LogPath());
    EXPECT_LE(log.size(), limit);
    const std::vector<std::string> whole{"earlier", "接続できませんでした IISの再起動を開始します",
                                         "停止完了"};
    EXPECT_EQ(LogTexts(log), whole);
}

}  // namespace
}  // namespace tolvane
