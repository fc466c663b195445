#include "ui/model/MainWindowModel.h"

#include "ui/model/CommandId.h"
#include "ui/model/EnablingRules.h"
#include "ui/model/UiTexts.h"

namespace tolvane {

namespace {

// The window's values in the order they go to and come from the controls: a refused number
// stops the reading there, so the values after it keep what they held.
struct WindowField {
    int id;
    std::uint32_t Settings::*value;
    bool number;  // else a check box
};
constexpr WindowField kFields[] = {
    {FtpCheck, &Settings::CheckFtpSvc, false},  {SmtpCheck, &Settings::CheckSmtpSvc, false},
    {PortField, &Settings::Port, true},         {MsdtcCheck, &Settings::CheckMsdtc, false},
    {IntervalField, &Settings::Interval, true}, {NntpCheck, &Settings::CheckNntpSvc, false},
};

// Marks the exchange for as long as it lives; nested exchanges keep the mark.
class ExchangeGuard {
public:
    explicit ExchangeGuard(bool& flag) : flag_(flag), previous_(flag) { flag_ = true; }
    ~ExchangeGuard() { flag_ = previous_; }
    ExchangeGuard(const ExchangeGuard&) = delete;
    ExchangeGuard& operator=(const ExchangeGuard&) = delete;

private:
    bool& flag_;
    bool previous_;
};

}  // namespace

MainWindowModel::MainWindowModel(RegistryHive& classesRoot, CycleParts parts, MainWindowView& view)
    : view_(view),
      store_(classesRoot),
      sendMail_(parts.sendMail),
      cycle_(settings_, *this, std::move(parts), this) {}

void MainWindowModel::Open() {
    ExchangeToControls();
    store_.LoadSettings(settings_);
    view_.SetWindowIcons();
    cycle_.Open();
    CheckStartupMode();
    const std::string note = LoadNote(store_.LastLoad());
    cycle_.StatusText = note.empty() ? Text(UiText::Ready) : note;
    ShowStatus();
    RefreshControls();
    FocusWindow();
    view_.AddTrayIcon();
    cycle_.ArmAutoStart();
}

void MainWindowModel::OnTimer(int id) {
    if (id == AutoStartTimer && view_.ModalOpen()) {
        view_.ArmTimer(AutoStartTimer, MonitorCycle::kAutoStartDelay);
        return;
    }
    cycle_.OnTimer(id);
}

bool MainWindowModel::CommandEnabled(int id) const {
    return tolvane::CommandEnabled(id, FlagsOf(cycle_));
}

void MainWindowModel::Command(int id, CommandSource source) {
    if (!CommandEnabled(id)) {
        if (id == ExitCommand && source == CommandSource::DialogManager) {
            view_.Beep();
        }
        return;
    }
    switch (id) {
        case StartCommand:
            cycle_.Start();
            break;
        case StopCommand:
            cycle_.Stop();
            break;
        case ConnectionTestCommand:
            cycle_.ConnectionTest();
            break;
        case SaveCommand:
            SaveFromWindow(*this, store_, settings_);
            break;
        case IconControlId:
        case AboutCommand:
            view_.OpenAbout();
            break;
        case HideCommand:
            view_.HideWindow();
            break;
        case ShowCommand:
            view_.ShowWindow();
            break;
        case MailSettingsCommand:
            view_.OpenMailSettings();
            break;
        case AutoModeCommand:
            ChangeStartupMode(*this, store_, settings_, 1);
            break;
        case ManualModeCommand:
            ChangeStartupMode(*this, store_, settings_, 0);
            break;
        case ExitCommand:
            view_.Close();
            break;
        default:
            break;
    }
}

bool MainWindowModel::WindowMenuCommand(int id) {
    switch (id) {
        case AboutCommand:
            view_.OpenAbout();
            return true;
        case HideWindowItem:
            if (HideWindowItemEnabled(FlagsOf(cycle_))) {
                view_.HideWindow();
            }
            return true;
        default:
            return false;
    }
}

void MainWindowModel::GreyMenus() {
    const CycleFlags flags = FlagsOf(cycle_);
    view_.EnableWindowMenuItem(HideWindowItem, HideWindowItemEnabled(flags));
    for (int id : MenuItemsGreyedWhileWaiting()) {
        view_.EnableMenuItem(id, MenuItemEnabled(id, flags));
    }
}

void MainWindowModel::RefreshControls() {
    const CycleFlags flags = FlagsOf(cycle_);
    for (int id : RuledCommands()) {
        view_.EnableControl(id, tolvane::CommandEnabled(id, flags));
    }
}

void MainWindowModel::ControlEdited() {
    if (!exchanging_) {
        view_.ShowSaveButton(true);
    }
}

bool MainWindowModel::FieldLeft() {
    if (exchanging_) {
        return false;
    }
    readPending_ = true;
    return true;
}

void MainWindowModel::ReadLeftField() {
    // A command that reads the fields first (Start, Save, the test) has made this reading moot.
    if (readPending_ && !exchanging_) {
        ReadControls();
    }
}

void MainWindowModel::ExchangeToControls() {
    ExchangeGuard guard(exchanging_);
    view_.SetStatusLine(cycle_.StatusText);
    for (const WindowField& field : kFields) {
        if (field.number) {
            view_.SetNumber(field.id, settings_.*field.value);
        } else {
            view_.SetChecked(field.id, settings_.*field.value != 0);
        }
    }
}

bool MainWindowModel::ReadControls() {
    ExchangeGuard guard(exchanging_);
    // This reading also serves a field left a moment ago.
    readPending_ = false;
    // The status line only shows the cycle's text; there is nothing to take back from it.
    for (const WindowField& field : kFields) {
        if (!field.number) {
            settings_.*field.value = view_.Checked(field.id) ? 1 : 0;
        } else if (!view_.ReadNumber(field.id, RuleOf(field.value), settings_.*field.value)) {
            return false;
        }
    }
    return true;
}

void MainWindowModel::ShowStatus() {
    ExchangeToControls();
    view_.DrawNow();
}

void MainWindowModel::CheckStartupMode() {
    view_.CheckMenuItem(AutoModeCommand, settings_.AutoStartupMode != 0);
    view_.CheckMenuItem(ManualModeCommand, settings_.AutoStartupMode == 0);
}

}  // namespace tolvane
