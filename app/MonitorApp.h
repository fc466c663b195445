#pragma once

#include <string>

namespace tolvane {

// The desktop program: one monitor per machine. A later start asks the running copy to show
// its window and ends, or, where `tolvanectl monitor` runs, says so in a message box and ends;
// the running copy shows the main window and ends when it ends.
class MonitorApp {
public:
    MonitorApp(int& argc, char** argv) : argc_(argc), argv_(argv) {}

    // The program's exit code.
    int Run();

private:
    // The later copy's part; the exit code.
    int Second(const std::string& markerName);

    int& argc_;
    char** argv_;
};

}  // namespace tolvane
