#include "tests/support/NginxServer.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace tolvane::test {

bool NginxServer::Installed() {
    return ::access(kProgram, X_OK) == 0;
}

// A port free on 127.0.0.1 is as good as free on the other loopback addresses.
NginxServer::NginxServer(IPv4Address address)
    : address_(address), port_(UnusedLoopbackPort()) {
    std::filesystem::create_directories(dir_.File("www"));
    std::filesystem::create_directories(dir_.File("temp"));
}

void NginxServer::AlsoTls(const std::string& certDir, const std::string& name) {
    tlsPort_ = UnusedLoopbackPort();
    certificate_ = certDir + "/" + name;
}

std::string NginxServer::Start(const std::string& location) {
    WriteConfig(location);
    if (!server_.Start(Command({}))) {
        return std::string(kProgram) + " cannot be started";
    }
    const bool up =
        WaitUntil([&] { return Answers() || !server_.Poll().running; }, 30s);
    if (!up || !server_.Poll().running) {
        return "nginx did not come up: " + ReadFile(dir_.File("error.log"));
    }
    return "";
}

bool NginxServer::Reload(const std::string& location) {
    const std::vector<pid_t> before = Workers();
    WriteConfig(location);
    ChildProcess reload;
    if (!reload.Start(Command({"-s", "reload"})) ||
        WaitForEnd(reload, "nginx -s reload").exitCode != 0) {
        return false;
    }
    return WaitUntil(
        [&] {
            const std::vector<pid_t> now = Workers();
            return std::none_of(before.begin(), before.end(), [&](pid_t worker) {
                return std::find(now.begin(), now.end(), worker) != now.end();
            });
        },
        30s);
}

// The master's children that are still running, from /proc.
std::vector<pid_t> NginxServer::Workers() const {
    std::vector<pid_t> workers;
    std::error_code error;  // processes come and go while the folder is read
    for (std::filesystem::directory_iterator entry("/proc", error), last; !error && entry != last;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        // "PID (COMMAND) STATE PPID ...": the command may hold blanks and parentheses.
        const std::string stat = ReadFile(entry->path().string() + "/stat");
        const auto end = stat.rfind(')');
        if (end == std::string::npos || end + 4 >= stat.size()) {
            continue;
        }
        const char state = stat[end + 2];
        if (state != 'Z' && std::atol(stat.c_str() + end + 4) == server_.Pid()) {
            workers.push_back(static_cast<pid_t>(std::atol(name.c_str())));
        }
    }
    return workers;
}

std::vector<std::string> NginxServer::Command(const std::vector<std::string>& extra) const {
    std::vector<std::string> argv{kProgram, "-p", dir_.Path() + "/", "-c", dir_.File("nginx.conf"),
                                  "-e", dir_.File("error.log")};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return argv;
}

bool NginxServer::Answers() const {
    Socket socket = Socket::CreateBoundTcp();
    return socket.Connect(address_, port_);
}

void NginxServer::WriteConfig(const std::string& location) const {
    const std::string temp = dir_.File("temp");
    char dotted[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address_.networkOrder, dotted, sizeof dotted);
    const std::string tls =
        certificate_.empty()
            ? ""
            : "    listen " + std::string(dotted) + ":" + std::to_string(tlsPort_) +
                  " ssl;\n    ssl_certificate " + certificate_ + ".pem;\n    ssl_certificate_key " +
                  certificate_ + ".key;\n";
    WriteFile(dir_.File("nginx.conf"),
              // As root the workers would take the user nobody, who cannot enter the folder.
              std::string(::geteuid() == 0 ? "user root root;\n" : "") +
                  "daemon off;\nworker_processes 1;\npid " + dir_.File("nginx.pid") +
                  ";\nerror_log " + dir_.File("error.log") +
                  ";\nevents { worker_connections 32; }\n"
                  "http {\n  access_log off;\n  default_type text/html;\n"
                  "  client_body_temp_path " + temp + "/body;\n  proxy_temp_path " + temp +
                  "/proxy;\n  fastcgi_temp_path " + temp + "/fastcgi;\n  uwsgi_temp_path " +
                  temp + "/uwsgi;\n  scgi_temp_path " + temp + "/scgi;\n"
                  "  server {\n    listen " + dotted + ":" + std::to_string(port_) + ";\n" + tls +
                  "    root " +
                  dir_.File("www") + ";\n    " + location + "\n  }\n}\n");
}

}  // namespace tolvane::test
