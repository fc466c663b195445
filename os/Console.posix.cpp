#include "os/Console.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace tolvane {

std::vector<std::string> CommandArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void WriteText(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

bool ReadHiddenLine(const std::string& prompt, std::string& line) {
    line.clear();
    termios saved{};
    const bool terminal = ::isatty(STDIN_FILENO) == 1 && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios hidden = saved;
        // The line end still shows, so that what follows starts on a line of its own.
        hidden.c_lflag = (hidden.c_lflag & ~static_cast<tcflag_t>(ECHO)) | ECHONL;
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
        // Only once nothing typed is echoed: a password typed at the prompt never shows.
        WriteText(stderr, prompt);
        std::fflush(stderr);
    }
    // Byte by byte from the descriptor: nothing past the line is taken from the input.
    bool ended = false;
    bool any = false;
    char c = 0;
    while (true) {
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        any = true;
        if (c == '\n') {
            ended = true;
            break;
        }
        line += c;
    }
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return ended || any;
}

}  // namespace tolvane
