#pragma once

#include <initializer_list>
#include <optional>
#include <string>

#include "registry/Registry.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"

namespace tolvane {

// One line for the person at the terminal, on standard error: "tolvanectl: LINE".
void Say(const std::string& line);

// What the store met on its way (lines it could not read, a file set aside, values it could
// not read, why the settings cannot be saved) and why it failed. `kept` says what became of an
// unreadable value.
void ReportStore(const SettingsStore& store, RegistryHive& hive, int done, const char* kept);

// The stored settings, with what the store met said.
Settings LoadStored(RegistryHive& hive);

// The first of the named stored numbers that breaks its rule, checked as the window's fields
// are, in their order, then the added values, checked as `set` checks them; the refusal, or
// empty.
std::string FirstRefusal(const Settings& settings, std::initializer_list<const char*> names);

// The numbers the monitor cannot run without.
inline constexpr std::initializer_list<const char*> kMonitorNumbers = {"Port", "Interval"};

// The settings a running monitor works with, loaded at start and taken anew from the store
// before a check when it changed since: a `set` beside the monitor reaches it without a
// restart. The store is only read when its change stamp moved, so an unchanged store costs a
// stat. A re-read whose values break their rules, or that cannot be read, leaves the settings
// in force, and is said once, on standard error.
class SettingsReload {
public:
    // Loads `inForce` from the hive, as LoadStored does.
    SettingsReload(RegistryHive& hive, Settings& inForce);

    // Takes the stored settings when the store changed; the line saying which values changed
    // when any did.
    std::optional<std::string> TakeChanges();

private:
    RegistryHive& hive_;
    Settings& inForce_;
    std::string stamp_;
    // The last failure said, so that a store that keeps failing is not said at every check.
    std::string lastFailure_;
};

}  // namespace tolvane
