#pragma once

#include <string>

namespace tolvane {

// What a program says once at its start when a restart would reach no service: no services
// map (with the paths tried), a map that is refused, or one that maps nothing. Empty when
// the map maps something, and on Windows, where the restart runs the real tools.
std::string ServicesMapNote(const std::string& program);

// Where the settings, the services map and the restart log are, one "what: path" line each.
std::string WhereThingsAre();

// The services map's line of WhereThingsAre; empty where the restart runs the real tools.
std::string ServicesMapLine();

// What ends `tolvanectl monitor` here, for its usage text.
std::string MonitorEndedBy();

// The usage text's last line on how the output is encoded; empty where it is the locale's.
std::string OutputNote();

// "program VERSION", the project's version.
std::string VersionLine(const std::string& program);

}  // namespace tolvane
