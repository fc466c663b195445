#include "tests/win32/Win32SmtpSink.h"

#include <cstdlib>

#include "os/SocketIo.h"

namespace tolvane::test {

SmtpSink::SmtpSink(const std::vector<std::string>& options) {
    const char* sinks = std::getenv("TOLVANE_TEST_SMTP_SINKS");
    if (sinks == nullptr || std::atoi(sinks) <= 0) {
        error_ =
            "TOLVANE_TEST_SMTP_SINKS is not set: run the program through "
            "with_smtp_sink.py --on-request";
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::string line;
    for (const std::string& option : options) {
        line += option + "\t";
    }
    line += "\n";
    request_ = Socket::CreateBoundTcp();
    if (!ConnectBefore(request_, kLoopbackAddress, static_cast<std::uint16_t>(std::atoi(sinks)),
                       deadline) ||
        SendAllBefore(request_, line, deadline) != IoStatus::Done) {
        error_ = "with_smtp_sink.py does not answer";
        return;
    }
    std::string answer;
    char byte = 0;
    while (answer.empty() || answer.back() != '\n') {
        if (ReceiveByteBefore(request_, byte, deadline) != IoStatus::Done) {
            break;
        }
        answer += byte;
    }
    const auto space = answer.find(' ');
    if (space == std::string::npos || answer.back() != '\n') {
        error_ = "the aiosmtpd server did not start: " + answer;
        return;
    }
    port_ = static_cast<std::uint16_t>(std::atoi(answer.c_str()));
    folder_ = "Z:" + answer.substr(space + 1, answer.size() - space - 2);  // Wine's drive
}

bool SmtpSink::WaitForMessages(std::size_t n, std::chrono::seconds limit) const {
    return WaitUntil([&] { return CountReceivedMails(folder_) >= n; }, limit);
}

}  // namespace tolvane::test
