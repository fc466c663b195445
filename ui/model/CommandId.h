#pragma once

namespace tolvane {

// Command ids of the main window: its buttons, fields, menus, window menu and tray menu. The
// same ids in both views, so the rules below and the tests speak of one window.
enum CommandId : int {
    StartCommand = 1,
    ExitCommand = 2,
    HideCommand = 3,
    AboutCommand = 16,
    ShowCommand = 32,
    HideWindowItem = 48,
    StatusLine = 1000,
    ConnectionTestCommand = 1001,
    StopCommand = 1002,
    PortField = 1003,
    IntervalField = 1004,
    FtpCheck = 1006,
    SmtpCheck = 1007,
    IconControlId = 1008,
    MsdtcCheck = 1009,
    NntpCheck = 1010,
    SaveCommand = 1016,
    MailSettingsCommand = 32774,
    AutoModeCommand = 32775,
    ManualModeCommand = 32776,
};

}  // namespace tolvane
