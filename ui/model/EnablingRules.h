#pragma once

#include <span>

#include "monitor/MonitorCycle.h"

namespace tolvane {

// Whether the main window carries out a command (and shows its control enabled) in the
// monitor's present state. Commands without a rule are always carried out.
bool CommandEnabled(int id, const MonitorCycle& cycle);

// The commands and controls that have a rule, for a view that refreshes them all.
std::span<const int> RuledCommands();

// Menu bar items greyed whenever a menu opens while the running monitor waits.
std::span<const int> MenuItemsGreyedWhileWaiting();
bool MenuItemEnabled(int id, const MonitorCycle& cycle);

// The window menu's Hide item: only while the running monitor waits between two checks.
bool HideWindowItemEnabled(const MonitorCycle& cycle);

}  // namespace tolvane
