#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "os/ComputerName.h"

namespace tolvane::test {

TempDir::TempDir() {
    // $TMPDIR or /tmp; on Windows the user's temporary folder.
    const auto base = std::filesystem::temp_directory_path();
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = base / ("tolvane-test-" + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            std::filesystem::permissions(candidate, std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::replace, error);
            path_ = candidate.generic_string();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

namespace {

IPv4Address WhereTheMachineNameLeads() {
    const std::string name = GetComputerName();
    if (const auto address = ResolveIPv4(name)) {
        return *address;
    }
    ADD_FAILURE() << "the machine's name \"" << name
                  << "\" does not resolve; the program probes the machine by its name, so this "
                     "test needs an /etc/hosts line for it";
    return kLoopbackAddress;
}

}  // namespace

Listener::Listener() : Listener(WhereTheMachineNameLeads()) {}

std::uint16_t UnusedLoopbackPort() {
    LoopbackOnlyListener listener;
    return listener.Port();
}

std::optional<IPv4Address> ResolveLocally(const std::string& host) {
    // Dotted addresses as they stand and "localhost" as the loopback; nothing is looked up.
    const std::string dotted = host == "localhost" ? "127.0.0.1" : host;
    if (dotted.empty() || dotted.find_first_not_of("0123456789.") != std::string::npos) {
        return std::nullopt;
    }
    return ResolveIPv4(dotted);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return lines;
}

}  // namespace

std::size_t CountReceivedMails(const std::string& folder) {
    std::size_t n = 0;
    std::error_code ignored;
    while (std::filesystem::exists(folder + "/" + std::to_string(n + 1) + ".done", ignored)) {
        ++n;
    }
    return n;
}

std::vector<ReceivedMail> ReadReceivedMails(const std::string& folder) {
    std::vector<ReceivedMail> mails;
    const std::size_t n = CountReceivedMails(folder);
    for (std::size_t i = 1; i <= n; ++i) {
        const std::string base = folder + "/" + std::to_string(i);
        ReceivedMail mail;
        mail.from = ReadFile(base + ".from");
        mail.recipients = Lines(ReadFile(base + ".rcpt"));
        mail.raw = ReadFile(base + ".raw");
        mail.subject = ReadFile(base + ".subject");
        mail.body = ReadFile(base + ".body");
        mail.session = ReadFile(base + ".session");
        mails.push_back(std::move(mail));
    }
    return mails;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

}  // namespace tolvane::test
