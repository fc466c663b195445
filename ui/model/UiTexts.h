#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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
    AddressMissing,
    TestMailSent,
    TestMailFailed,
    AboutCaption,
    AboutVersion,
    AboutOk,
    MonitoredByTolvanectl,
    NoServicesMap,
};

// CP932 bytes of the text.
const std::string& Text(UiText id);

// The refusal of a later start while `tolvanectl monitor` runs, with its process id.
std::string MonitoredByTolvanectl(long pid);

// Cuts a CP932 text to at most maxBytes bytes without splitting a two-byte character.
std::string CutCp932(const std::string& text, std::size_t maxBytes);

// Strips single-byte white space (blank, tab, CR, LF, VT, FF) from both ends; a full-width
// blank is a character here. Trail bytes of CP932 never fall in that range.
std::string TrimBlanks(const std::string& text);

}  // namespace tolvane
