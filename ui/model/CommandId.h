#pragma once

// The windows' resource, control and command ids, once for the resource script, the models and
// both views. The resource compiler takes only preprocessor lines, so each id is a define here;
// C++ takes its names from them below.

#define ID_ABOUT_DIALOG 100
#define ID_MAIN_WINDOW 102
#define ID_MAIL_DIALOG 132
#define ID_MAIL_SECURITY_DIALOG 133
#define ID_TRAY_MENU 130
#define ID_MAIN_MENU 131
#define ID_PROGRAM_ICON 128
#define ID_ABOUT_ITEM_TEXT 101
#define ID_SOCKETS_FAILED_TEXT 103

// The main window: its buttons, fields, menus, window menu and tray menu.
#define ID_START 1
#define ID_EXIT 2
#define ID_HIDE 3
#define ID_ABOUT 16
#define ID_SHOW 32
#define ID_HIDE_WINDOW_ITEM 48
#define ID_STATUS_LINE 1000
#define ID_CONNECTION_TEST 1001
#define ID_STOP 1002
#define ID_PORT 1003
#define ID_INTERVAL 1004
#define ID_FTP 1006
#define ID_SMTP 1007
#define ID_ICON_CONTROL 1008
#define ID_MSDTC 1009
#define ID_NNTP 1010
#define ID_SAVE 1016
#define ID_MAIL_SETTINGS 32774
#define ID_AUTO_MODE 32775
#define ID_MANUAL_MODE 32776

// The mail settings dialog; OK and Cancel are 1 and 2.
#define ID_MAIL_OK 1
#define ID_MAIL_CANCEL 2
#define ID_MAIL_SMTP_PORT 1003
#define ID_MAIL_SEND_TEST 1009
#define ID_MAIL_FROM 1010
#define ID_MAIL_TO 1011
#define ID_MAIL_SUBJECT 1012
#define ID_MAIL_BODY 1013
#define ID_MAIL_OFF 1014
#define ID_MAIL_ON 1015
#define ID_MAIL_SMTP 1016
#define ID_MAIL_ADVANCED 1017

// The mail's TLS and authentication, the small dialog that "詳細" opens; OK and Cancel are 1
// and 2.
#define ID_SECURITY_CHOICE 1101
#define ID_VERIFY_CHOICE 1102
#define ID_FINGERPRINT 1103
#define ID_SMTP_USER 1104
#define ID_SMTP_PASSWORD 1105
#define ID_PASSWORD_STATE 1106
#define ID_PASSWORD_REMOVE 1107
#define ID_TOKEN_COMMAND 1108

#ifndef RC_INVOKED

namespace tolvane {

// The same ids in both views, so the rules and the tests speak of one window.
enum CommandId : int {
    StartCommand = ID_START,
    ExitCommand = ID_EXIT,
    HideCommand = ID_HIDE,
    AboutCommand = ID_ABOUT,
    ShowCommand = ID_SHOW,
    HideWindowItem = ID_HIDE_WINDOW_ITEM,
    StatusLine = ID_STATUS_LINE,
    ConnectionTestCommand = ID_CONNECTION_TEST,
    StopCommand = ID_STOP,
    PortField = ID_PORT,
    IntervalField = ID_INTERVAL,
    FtpCheck = ID_FTP,
    SmtpCheck = ID_SMTP,
    IconControlId = ID_ICON_CONTROL,
    MsdtcCheck = ID_MSDTC,
    NntpCheck = ID_NNTP,
    SaveCommand = ID_SAVE,
    MailSettingsCommand = ID_MAIL_SETTINGS,
    AutoModeCommand = ID_AUTO_MODE,
    ManualModeCommand = ID_MANUAL_MODE,
};

// The mail settings dialog's controls.
enum MailControlId : int {
    MailOkCommand = ID_MAIL_OK,
    MailCancelCommand = ID_MAIL_CANCEL,
    MailSmtpPortField = ID_MAIL_SMTP_PORT,
    MailSendTestCommand = ID_MAIL_SEND_TEST,
    MailFromField = ID_MAIL_FROM,
    MailToField = ID_MAIL_TO,
    MailSubjectField = ID_MAIL_SUBJECT,
    MailBodyField = ID_MAIL_BODY,
    MailOffRadio = ID_MAIL_OFF,
    MailOnRadio = ID_MAIL_ON,
    MailSmtpField = ID_MAIL_SMTP,
    MailAdvancedCommand = ID_MAIL_ADVANCED,
};

// The small dialog of the mail's TLS and authentication.
enum SecurityControlId : int {
    SecurityOkCommand = 1,
    SecurityCancelCommand = 2,
    SecurityChoice = ID_SECURITY_CHOICE,
    VerifyChoice = ID_VERIFY_CHOICE,
    FingerprintField = ID_FINGERPRINT,
    SmtpUserField = ID_SMTP_USER,
    SmtpPasswordField = ID_SMTP_PASSWORD,
    PasswordStateLine = ID_PASSWORD_STATE,
    PasswordRemoveCommand = ID_PASSWORD_REMOVE,
    TokenCommandField = ID_TOKEN_COMMAND,
};

}  // namespace tolvane

#endif
