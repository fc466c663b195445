#pragma once

#include <string>

#include "settings/Settings.h"

namespace tolvane {

// What a program says once at its start when a restart with these settings would miss a
// service: the names the restart uses and, with no services map (the paths tried) or a refused
// one, that it reaches none of them, else which of them the map leaves out. Empty when the map
// maps every one (an empty entry counts: nothing to do), and on Windows, where the restart runs
// the real tools.
std::string ServicesMapNote(const std::string& program, const Settings& settings);

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
