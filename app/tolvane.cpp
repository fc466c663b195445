// tolvane: the desktop program.
#include "app/MonitorApp.h"

int main(int argc, char** argv) {
    tolvane::MonitorApp app(argc, argv);
    return app.Run();
}
