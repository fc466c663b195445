#include "ui/model/WindowSave.h"

#include <cstdint>

#include "os/CodePage.h"
#include "ui/model/UiTexts.h"

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

std::string LoadNote(const LoadReport& report) {
    std::string note;
    if (!report.unreadable.empty()) {
        note = Text(UiText::UnreadableSettings);
        for (std::size_t i = 0; i < report.unreadable.size(); ++i) {
            note += (i == 0 ? "" : ", ") + report.unreadable[i].name;
        }
    }
    if (!report.notSaved.empty()) {
        // The system's own reason where it has a form here; a refusal tells what helps.
        std::string reason;
        if (report.denied || !LocaleToCp932(report.notSaved, reason)) {
            reason = Text(UiText::RunAsAdministrator);
        }
        note += (note.empty() ? "" : Sjis("　")) + Text(UiText::SettingsCannotBeSaved) + reason;
    }
    return note;
}

void SaveFromWindow(WindowSaveView& view, SettingsStore& store, Settings& shown) {
    if (!view.ReadControls()) {
        return;
    }
    if (SaveWindowValues(store, shown) == 0) {
        view.Message(false, Text(UiText::SettingsNotSaved) + "\n", store.LastError());
        return;
    }
    view.CheckStartupMode();
    view.Message(true, Text(UiText::SettingsSaved), {});
    view.HideSaveButton();
}

void ChangeStartupMode(WindowSaveView& view, SettingsStore& store, Settings& shown,
                       std::uint32_t automatic) {
    shown.AutoStartupMode = automatic;
    view.CheckStartupMode();
    store.SaveStartupMode(automatic);
}

}  // namespace tolvane
