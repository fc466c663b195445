#include "ui/model/WindowSave.h"

#include <cstdint>

namespace tolvane {

namespace {

// The values the window shows and its Save takes from its controls.
constexpr std::uint32_t Settings::*kWindowValues[] = {
    &Settings::Interval,     &Settings::Port,         &Settings::CheckFtpSvc,
    &Settings::CheckSmtpSvc, &Settings::CheckNntpSvc, &Settings::CheckMsdtc,
};

}  // namespace

int SaveWindowValues(SettingsStore& store, Settings& shown) {
    Settings saved = shown;
    const int stored = store.UpdateSettings(saved, [&shown](Settings& record) {
        for (auto field : kWindowValues) {
            record.*field = shown.*field;
        }
    });
    if (stored != 0) {
        shown = saved;
    }
    return stored;
}

}  // namespace tolvane
