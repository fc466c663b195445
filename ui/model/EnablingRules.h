#pragma once

#include <cstdint>
#include <span>

#include "monitor/MonitorCycle.h"

namespace tolvane {

// The cycle's state as the rules are written: its three flags, 1 or 0.
struct CycleFlags {
    std::uint32_t stopped;
    std::uint32_t cycleBusy;
    std::uint32_t testIdle;
};
CycleFlags FlagsOf(const MonitorCycle& cycle);

// Whether the main window carries out a command (and shows its control enabled) in the
// monitor's present state. Commands without a rule are always carried out.
bool CommandEnabled(int id, CycleFlags cycle);

// The commands and controls that have a rule, for a view that refreshes them all.
std::span<const int> RuledCommands();

// Menu bar items greyed whenever a menu opens while the running monitor waits.
std::span<const int> MenuItemsGreyedWhileWaiting();
bool MenuItemEnabled(int id, CycleFlags cycle);

// The window menu's Hide item: only while the running monitor waits between two checks.
bool HideWindowItemEnabled(CycleFlags cycle);

}  // namespace tolvane
