// A stand-in web server for the end-to-end test: listens on every address at the given port,
// writes its pid to a file once it listens, and accepts and closes connections until killed.
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: test_listener PORT PIDFILE\n");
        return 2;
    }
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 16) != 0) {
        std::perror("test_listener");
        return 1;
    }
    const std::string temporary = std::string(argv[2]) + ".tmp";
    if (FILE* pidFile = std::fopen(temporary.c_str(), "w")) {
        std::fprintf(pidFile, "%d\n", static_cast<int>(getpid()));
        std::fclose(pidFile);
        std::rename(temporary.c_str(), argv[2]);
    }
    while (true) {
        const int connection = accept(fd, nullptr, nullptr);
        if (connection >= 0) {
            close(connection);
        }
    }
}
