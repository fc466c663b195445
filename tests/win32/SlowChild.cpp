// A command that takes its time: sleeps for the milliseconds given, then exits with 0.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    Sleep(argc > 1 ? static_cast<DWORD>(std::atoi(argv[1])) : 0);
    return 0;
}
