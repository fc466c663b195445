// CSCRIPT.EXE stand-in: takes the mail script's command line and hands the mail to the local
// mail transfer agent through "sendmail -t -i". Ends as the script does: with its "sent" code
// once the mail is handed over, 1 when not.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "mail/JisEncoder.h"
#include "mail/MailMessage.h"
#include "mail/ScriptMailer.h"
#include "os/File.h"
#include "os/File.posix.h"
#include "standins/PipedProcess.h"

using namespace tolvane;

namespace {

struct ScriptArguments {
    std::string From;
    std::string To;
    std::string Subject;
    std::string Body;
};

bool IsOption(const std::string& argument, char letter) {
    return argument.size() == 2 && argument[0] == '/' && (argument[1] | 0x20) == letter;
}

// As the script reads them: case-insensitive options, each taking the argument after it;
// the later one wins; anything else is skipped.
ScriptArguments ParseArguments(const std::vector<std::string>& args) {
    ScriptArguments parsed;
    const std::pair<char, std::string ScriptArguments::*> options[] = {
        {'t', &ScriptArguments::To},
        {'f', &ScriptArguments::From},
        {'s', &ScriptArguments::Subject},
        {'b', &ScriptArguments::Body},
    };
    for (std::size_t n = 0; n < args.size(); ++n) {
        for (const auto& [letter, field] : options) {
            if (IsOption(args[n], letter)) {
                ++n;
                if (n < args.size()) {
                    parsed.*field = args[n];
                }
                break;
            }
        }
    }
    return parsed;
}

// sendmail reads lines ending in LF.
std::string WithLf(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            out += text[i];
        }
    }
    return out;
}

// The ";"-separated list as a header's comma list; empty items (as from "a@x;") are left out.
std::string Recipients(const std::string& to) {
    std::string out;
    std::size_t start = 0;
    while (start <= to.size()) {
        auto end = to.find(';', start);
        if (end == std::string::npos) {
            end = to.size();
        }
        std::string item = to.substr(start, end - start);
        item.erase(0, item.find_first_not_of(" \t"));
        item.erase(item.find_last_not_of(" \t") + 1);
        if (!item.empty()) {
            out += (out.empty() ? "" : ", ") + item;
        }
        start = end + 1;
    }
    return out;
}

std::string Message(const ScriptArguments& mail) {
    std::string text;
    if (!mail.From.empty()) {
        text += "From: " + mail.From + "\n";
    }
    text += "To: " + Recipients(mail.To) + "\n";
    text += "Subject: " + MailMessage::EncodedSubject(mail.Subject, "\n ") + "\n";
    text += "Date: " + MailMessage::DateText(std::time(nullptr)) + "\n";
    text += "MIME-Version: 1.0\n";
    text += "Content-Type: text/plain; charset=ISO-2022-JP\n";
    text += "\n";
    text += WithLf(JisEncoder::Convert(mail.Body));
    if (text.back() != '\n') {
        text += '\n';
    }
    return text;
}

// A stuck mail transfer agent must not hold the monitor: 60 s, or $TOLVANE_SENDMAIL_TIMEOUT
// seconds.
std::chrono::seconds SendmailLimit() {
    const char* configured = std::getenv("TOLVANE_SENDMAIL_TIMEOUT");
    char* end = nullptr;
    const long seconds = configured != nullptr ? std::strtol(configured, &end, 10) : 0;
    return std::chrono::seconds(configured != nullptr && *configured != '\0' && *end == '\0' &&
                                        seconds > 0 && seconds <= 86400
                                    ? seconds
                                    : 60);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: CSCRIPT.EXE SCRIPT /f FROM /t TO /s SUBJECT /b BODY\n", stderr);
        return 1;
    }
    std::string script;
    if (!ReadRegularFile(argv[1], script)) {
        std::fprintf(stderr, "CSCRIPT.EXE: cannot find script file \"%s\"\n", argv[1]);
        return 1;
    }
    const ScriptArguments mail = ParseArguments(std::vector<std::string>(argv + 2, argv + argc));
    // sendmail -t takes its recipients from the header: a line break in an address could add
    // recipients or header lines of its own.
    if ((mail.From + mail.To).find_first_of("\r\n") != std::string::npos) {
        std::fputs("CSCRIPT.EXE: an address holds a line break\n", stderr);
        return 1;
    }
    const char* configured = std::getenv("TOLVANE_SENDMAIL");
    const std::string sendmail =
        configured != nullptr && *configured != '\0' ? configured : "/usr/sbin/sendmail";
    const std::chrono::seconds limit = SendmailLimit();
    const int code = RunWithInput({sendmail, "-t", "-i"}, Message(mail), limit);
    if (code != 0) {
        const std::string why = code == kRunTimedOut
                                    ? "did not end within " + std::to_string(limit.count()) + " s"
                                : code < 0 ? "cannot be started"
                                           : "exited with " + std::to_string(code);
        std::fprintf(stderr, "CSCRIPT.EXE: %s %s\n", sendmail.c_str(), why.c_str());
        return 1;
    }
    return ScriptMailer::kSent;
}
