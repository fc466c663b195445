// A Windows service for the end-to-end test: while it runs it listens on the port given on its
// command line (any local address, as a web server does), and it closes the port when the
// service control manager stops it. A second number makes it load for that many milliseconds
// before it reaches the manager, as a slow server does: a start waits for it.
#include <winsock2.h>

#include <cstdlib>

namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;
unsigned short port = 0;

void Report(DWORD state) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWaitHint = 3000;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI OnControl(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_STOP) {
        Report(SERVICE_STOP_PENDING);
        SetEvent(stopEvent);
    }
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
    statusHandle = RegisterServiceCtrlHandlerExW(L"", OnControl, nullptr);
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Report(SERVICE_START_PENDING);
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    if (listener == INVALID_SOCKET ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 16) != 0) {
        Report(SERVICE_STOPPED);
        return;
    }
    Report(SERVICE_RUNNING);
    // Connections are taken and closed at once, as the probe expects nothing else.
    while (WaitForSingleObject(stopEvent, 100) == WAIT_TIMEOUT) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener, &readable);
        timeval none{0, 0};
        if (::select(0, &readable, nullptr, nullptr, &none) == 1) {
            const SOCKET connection = ::accept(listener, nullptr, nullptr);
            if (connection != INVALID_SOCKET) {
                ::closesocket(connection);
            }
        }
    }
    ::closesocket(listener);
    WSACleanup();
    Report(SERVICE_STOPPED);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    port = static_cast<unsigned short>(std::atoi(argv[1]));
    if (argc > 2) {
        Sleep(static_cast<DWORD>(std::atoi(argv[2])));
    }
    SERVICE_TABLE_ENTRYW services[] = {{const_cast<wchar_t*>(L""), ServiceMain},
                                       {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(services) ? 0 : 1;
}
