#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The windows cut and trim their CP932 texts by these rules.
#include "text/Cp932.h"

namespace tolvane {

// The windows' own texts. They are held as CP932, like every text of the system, and become
// QStrings only where a widget shows them.
enum class UiText {
    WindowTitle,
    IntervalLabel,
    IntervalUnit,
    PortLabel,
    ConnectionTestButton,
    FtpCheck,
    SmtpCheck,
    NntpCheck,
    MsdtcCheck,
    StatusPlaceholder,
    StartButton,
    StopButton,
    SaveButton,
    HideButton,
    ExitButton,
    FileMenu,
    MailSettingsItem,
    StartupModeMenu,
    ManualItem,
    AutoItem,
    ExitItem,
    HelpMenu,
    AboutItem,
    HideWindowItem,
    Ready,
    SettingsSaved,
    SettingsNotSaved,
    TrayTip,
    TrayShowItem,
    MailCaption,
    MailOffRadio,
    MailOnRadio,
    MailGroup,
    FromLabel,
    ToLabel,
    SubjectLabel,
    SmtpLabel,
    SmtpPortLabel,
    SendTestButton,
    OkButton,
    CancelButton,
    AboutCaption,
    AboutVersion,
    AboutOk,
    MonitoredByTolvanectl,
    MonitoredByWindowElsewhere,
    MonitoredByService,
    NoServicesMap,
    UnreadableSettings,
    SettingsCannotBeSaved,
    RunAsAdministrator,
    ServicesNotControllable,
    TextNotStorable,
    BodyName,
    AdvancedButton,
    SecurityCaption,
    SecurityLabel,
    SecurityNone,
    SecurityStartTls,
    SecurityTls,
    VerifyLabel,
    VerifyFull,
    VerifyFingerprint,
    VerifyNone,
    FingerprintLabel,
    UserLabel,
    PasswordLabel,
    PasswordStored,
    PasswordNotStored,
    PasswordUnreadable,
    PasswordTyped,
    PasswordToRemove,
    RemovePasswordButton,
    TokenCommandLabel,
    ValueRefused,
    PasswordNotSaved,
};

// CP932 bytes of the text.
const std::string& Text(UiText id);

// The name a field goes by in a message: its label without the access key and the colon.
std::string LabelName(UiText label);
// That a field, named by its label, holds a character that Shift_JIS (CP932) cannot store.
std::string TextNotStorable(UiText label);

// The refusal of a later start while `tolvanectl monitor` runs, with its process id.
std::string MonitoredByTolvanectl(long pid);
// The same while the window runs in another session (Windows), where it cannot be shown.
std::string MonitoredByWindowElsewhere(long pid);
// The same while the service IISTolvane runs (Windows).
std::string MonitoredByService(long pid);
// That this account may not start and stop the restart's services, named (ASCII).
std::string ServicesNotControllable(const std::string& names);

}  // namespace tolvane
