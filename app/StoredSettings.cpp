#include "app/StoredSettings.h"

#include <cstdio>

#include "os/Console.h"
#include "settings/SettingsText.h"

namespace tolvane {

void Say(const std::string& line) {
    WriteText(stderr, "tolvanectl: " + line + "\n");
}

void ReportStore(const SettingsStore& store, RegistryHive& hive, int done, const char* kept) {
    for (const auto& note : hive.TakeNotes()) {
        Say(note);
    }
    for (const auto& value : store.LastLoad().unreadable) {
        Say(UnreadableText(value) + ": it cannot be read and " + kept);
    }
    if (const std::string& notSaved = store.LastLoad().notSaved; !notSaved.empty()) {
        Say("the settings cannot be saved: " + notSaved +
            (store.LastLoad().denied ? "; run as administrator to save them" : ""));
    } else if (done == 0) {
        Say(hive.LastError());
    }
}

Settings LoadStored(RegistryHive& hive) {
    Settings settings;
    SettingsStore store(hive);
    const int done = store.LoadSettings(settings);
    ReportStore(store, hive, done, "is left as it is; the default is used");
    return settings;
}

std::string FirstRefusal(const Settings& settings, std::initializer_list<const char*> names) {
    std::string refusal;
    for (const char* name : names) {
        if (!KeepsRule(*FindSettingsField(name), settings, refusal)) {
            return refusal;
        }
    }
    for (const SettingsField& field : kAddedSettingsFields) {
        if (!KeepsRule(field, settings, refusal)) {
            return refusal;
        }
    }
    return {};
}

namespace {

// The names of the values that differ, "Port, Interval"; empty when none does.
std::string ChangedNames(const Settings& before, const Settings& after) {
    std::string names;
    auto compare = [&](const auto& fields) {
        for (const SettingsField& field : fields) {
            if (SettingText(field, before) != SettingText(field, after)) {
                names += (names.empty() ? "" : ", ") + std::string(field.name);
            }
        }
    };
    compare(kSettingsFields);
    compare(kAddedSettingsFields);
    return names;
}

}  // namespace

SettingsReload::SettingsReload(RegistryHive& hive, Settings& inForce)
    : hive_(hive), inForce_(inForce) {
    // Taken before the reading: a change made meanwhile is read again at the first check.
    stamp_ = hive_.ChangeStamp(kSettingsKey);
    inForce_ = LoadStored(hive_);
}

std::optional<std::string> SettingsReload::TakeChanges() {
    const std::string stamp = hive_.ChangeStamp(kSettingsKey);
    if (stamp == stamp_) {
        return std::nullopt;
    }
    Settings read;
    SettingsStore store(hive_);
    const int done = store.LoadSettings(read);
    const std::string where = hive_.Path();
    std::string failure;
    if (!store.LastLoad().read) {
        // Tried again at the next check, as the stamp is kept.
        failure = "the settings could not be read again from " + where + ": " +
                  hive_.LastError() + ". The monitor goes on with the settings in force.";
    } else {
        stamp_ = stamp;
        ReportStore(store, hive_, done, "is left as it is; the default is used");
        if (const std::string refusal = FirstRefusal(read, kMonitorNumbers); !refusal.empty()) {
            failure = "the settings in " + where + " were not taken: " + refusal +
                      " The monitor goes on with the settings in force.";
        }
    }
    if (!failure.empty()) {
        if (failure != lastFailure_) {
            Say(failure);
        }
        // The same refusal after a further change is said again.
        lastFailure_ = store.LastLoad().read ? std::string() : failure;
        return std::nullopt;
    }
    lastFailure_.clear();
    const std::string changed = ChangedNames(inForce_, read);
    inForce_ = read;
    if (changed.empty()) {
        return std::nullopt;
    }
    return "the settings were read again from " + where + "; changed: " + changed;
}

}  // namespace tolvane
