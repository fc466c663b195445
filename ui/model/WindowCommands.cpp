#include "ui/model/WindowCommands.h"

#include "ui/model/CommandId.h"

namespace tolvane {

void CarryOutCommand(int id, WindowCommandView& view, MonitorCycle& cycle, SettingsStore& store,
                     Settings& shown) {
    switch (id) {
        case StartCommand:
            cycle.Start();
            break;
        case StopCommand:
            cycle.Stop();
            break;
        case ConnectionTestCommand:
            cycle.ConnectionTest();
            break;
        case SaveCommand:
            SaveFromWindow(view, store, shown);
            break;
        case IconControlId:
        case AboutCommand:
            view.OpenAbout();
            break;
        case HideCommand:
            view.HideWindow();
            break;
        case ShowCommand:
            view.ShowWindow();
            break;
        case MailSettingsCommand:
            view.OpenMailSettings();
            break;
        case AutoModeCommand:
            ChangeStartupMode(view, store, shown, 1);
            break;
        case ManualModeCommand:
            ChangeStartupMode(view, store, shown, 0);
            break;
        case ExitCommand:
            view.Exit();
            break;
        default:
            break;
    }
}

}  // namespace tolvane
