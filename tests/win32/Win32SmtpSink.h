#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "os/CodePage.h"
#include "os/Socket.h"
#include "tests/support/TestSupport.h"

namespace tolvane::test {

// Debian's aiosmtpd with options of its own, as the Linux tests' SmtpSink, for a program under
// Wine: with_smtp_sink.py --on-request starts it on the Linux side for as long as this object
// holds its connection (TOLVANE_TEST_SMTP_SINKS). `options` are smtp_sink.py's.
class SmtpSink {
public:
    explicit SmtpSink(const std::vector<std::string>& options = {});
    SmtpSink(const SmtpSink&) = delete;
    SmtpSink& operator=(const SmtpSink&) = delete;

    bool Running() const { return port_ != 0; }
    const std::string& StartError() const { return error_; }
    std::uint16_t Port() const { return port_; }

    std::vector<ReceivedMail> Messages() const { return ReadReceivedMails(folder_); }
    // Waits until at least n messages are complete; false when they did not come in time.
    bool WaitForMessages(std::size_t n, std::chrono::seconds limit) const;

private:
    Socket request_;
    std::uint16_t port_ = 0;
    std::string folder_;
    std::string error_;
};

inline std::string Cp932(const std::string& utf8) {
    return Sjis(utf8);
}

inline std::string Utf8(const std::string& cp932) {
    return Cp932ToUtf8(cp932);
}

}  // namespace tolvane::test
