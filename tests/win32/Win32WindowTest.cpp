// The Win32 windows, driven by window messages in this process: texts set, buttons clicked,
// enabled states and texts read back; every message box answered through the seam.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <vector>

#include "os/CodePage.h"
#include "os/InstanceMarker.h"
#include "os/Win32Text.h"
#include "registry/Registry.h"
#include "settings/SettingsStore.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/Win32TestSupport.h"
#include "tests/win32/WindowTestSupport.h"
#include "ui/model/CommandId.h"
#include "ui/model/DialogTemplates.h"
#include "ui/model/StartRights.h"
#include "ui/model/UiTexts.h"
#include "ui/win32/MessageBox.h"
#include "ui/win32/MonitorDialog.h"
#include "ui/win32/WindowText.h"

namespace tolvane {
namespace {

using test::Click;
using test::ExpectClientSize;
using test::ExpectPlacements;
using test::ExpectTemplateStyles;
using test::LoopbackOnlyListener;
using test::Placement;
using test::PumpUntil;
using test::WhileModal;
using test::Win32WindowTest;

constexpr Placement kMainPlacements[] = {
    {5, 6, 98, 8},      {121, 4, 24, 14},  {158, 7, 57, 8},  {5, 26, 114, 8},   {121, 23, 24, 14},
    {156, 24, 58, 14},  {4, 41, 142, 10},  {4, 54, 142, 10}, {4, 67, 142, 10},  {4, 80, 142, 10},
    {172, 52, 24, 26},  {5, 95, 213, 12},  {4, 115, 36, 14}, {48, 115, 36, 14}, {93, 115, 36, 14},
    {138, 115, 36, 14}, {182, 115, 36, 14}};
constexpr Placement kAboutPlacements[] = {{7, 6, 20, 20}, {35, 9, 91, 8}, {127, 6, 50, 14}};

// Labels start groups; fields, check boxes and push buttons are tab stops; the radio buttons
// are reached by their access keys only, the first one starting their group.
constexpr DWORD kLabel = SS_LEFT | WS_GROUP;
constexpr DWORD kNumberField = ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD kTextField = ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kDefaultButton = BS_DEFPUSHBUTTON | WS_TABSTOP;
constexpr DWORD kCheck = BS_AUTOCHECKBOX | WS_TABSTOP;
constexpr DWORD kMainStyles[] = {kLabel,
                                 kNumberField,
                                 kLabel,
                                 kLabel,
                                 kNumberField,
                                 kButton,
                                 kCheck,
                                 kCheck,
                                 kCheck,
                                 kCheck,
                                 SS_ICON | SS_NOTIFY | SS_REALSIZECONTROL,
                                 SS_LEFT | SS_SUNKEN | SS_CENTERIMAGE | SS_NOPREFIX | WS_GROUP,
                                 kButton,
                                 kButton,
                                 kButton,
                                 kDefaultButton,
                                 kButton};
constexpr DWORD kMailStyles[] = {
    BS_AUTORADIOBUTTON | WS_GROUP,
    BS_AUTORADIOBUTTON,
    BS_GROUPBOX,
    kLabel,
    kTextField,
    kLabel,
    kTextField,
    kLabel,
    kTextField,
    ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP,
    kLabel,
    kTextField,
    kLabel,
    kNumberField,
    kDefaultButton,
    kButton,
    kButton,
    kButton};
// The drop-down lists (class ComboBox) compare by their tab stop and scroll bar only.
constexpr DWORD kList = WS_VSCROLL | WS_TABSTOP;
constexpr DWORD kSecurityStyles[] = {kLabel,
                                     kList,
                                     kLabel,
                                     kList,
                                     kLabel,
                                     kTextField,
                                     kLabel,
                                     kTextField,
                                     kLabel,
                                     kTextField,
                                     SS_LEFT | SS_NOPREFIX | WS_GROUP,
                                     kButton,
                                     kLabel,
                                     kTextField,
                                     kDefaultButton,
                                     kButton};

TEST(Win32TemplateTest, EveryControlHasTheStyleOfItsTemplate) {
    ExpectTemplateStyles(ID_MAIN_WINDOW, kMainStyles);
    ExpectTemplateStyles(ID_MAIL_DIALOG, kMailStyles);
    ExpectTemplateStyles(ID_MAIL_SECURITY_DIALOG, kSecurityStyles);
}

TEST_F(Win32WindowTest, TemplatePlacesEveryControlInDialogUnits) {
    HWND window = Open();
    ExpectPlacements(window, kMainPlacements);
    ExpectClientSize(window, 223, 135);
}

TEST_F(Win32WindowTest, AFreshInstallationOpensWithTheDefaultsAndItsTexts) {
    HWND window = Open();
    EXPECT_EQ(TextCp932(window), "IIS Tolvane");
    EXPECT_EQ(TextOf(IntervalField), "60");
    EXPECT_EQ(TextOf(PortField), "80");
    EXPECT_EQ(IsDlgButtonChecked(window, FtpCheck), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(window, SmtpCheck), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(window, NntpCheck), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(window, MsdtcCheck), BST_UNCHECKED);
    EXPECT_EQ(TextOf(StatusLine), Text(UiText::Ready));
    EXPECT_EQ(TextOf(StartCommand), Text(UiText::StartButton));
    EXPECT_EQ(TextOf(HideCommand), Text(UiText::HideButton));
    // Shown as Unicode: "開始(&R)" through code page 932, whatever the ANSI code page.
    wchar_t start[32];
    GetDlgItemTextW(window, StartCommand, start, 32);
    EXPECT_STREQ(start, L"\u958b\u59cb(&R)");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(window, SaveCommand)));
    EXPECT_EQ(GetMenuState(GetMenu(window), ManualModeCommand, MF_BYCOMMAND) & MF_CHECKED,
              static_cast<UINT>(MF_CHECKED));
    EXPECT_EQ(GetMenuState(GetMenu(window), AutoModeCommand, MF_BYCOMMAND) & MF_CHECKED, 0u);
    // The window menu keeps Move, Minimise and Close and gains Hide and About at its end.
    HMENU system = GetSystemMenu(window, FALSE);
    for (UINT kept : {UINT{SC_MOVE}, UINT{SC_MINIMIZE}, UINT{SC_CLOSE}, UINT{HideWindowItem},
                      UINT{AboutCommand}}) {
        EXPECT_NE(GetMenuState(system, kept, MF_BYCOMMAND), static_cast<UINT>(-1)) << kept;
    }
    for (UINT removed : {UINT{SC_RESTORE}, UINT{SC_SIZE}, UINT{SC_MAXIMIZE}}) {
        EXPECT_EQ(GetMenuState(system, removed, MF_BYCOMMAND), static_cast<UINT>(-1)) << removed;
    }
    const int count = GetMenuItemCount(system);
    EXPECT_EQ(GetMenuItemID(system, count - 3), static_cast<UINT>(HideWindowItem));
    EXPECT_EQ(GetMenuItemID(system, count - 1), static_cast<UINT>(AboutCommand));
    wchar_t about[64];
    GetMenuStringW(system, AboutCommand, about, 64, MF_BYCOMMAND);
    EXPECT_STREQ(about, L"&About IISTolvane...");
    // Stopped: the settings may be changed; Stop and Hide wait for a running monitor.
    for (int id : {StartCommand, ExitCommand, ConnectionTestCommand, PortField, IntervalField,
                   FtpCheck, SmtpCheck, NntpCheck, MsdtcCheck}) {
        EXPECT_TRUE(Enabled(id)) << id;
    }
    EXPECT_FALSE(Enabled(StopCommand));
    EXPECT_FALSE(Enabled(HideCommand));
    EXPECT_TRUE(dialog->Tray().Shown());
}

TEST_F(Win32WindowTest, ARefusedFieldShowsItsMessageAndGetsTheFocusWithItsTextSelected) {
    struct Case {
        int field;
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {IntervalField, "0", "Please enter an integer between 1 and 99999."},
        {IntervalField, "", "Please enter a positive integer."},
        {PortField, "65536", "Please enter an integer between 0 and 65535."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        HWND window = Open();
        boxes.clear();
        Type(c.field, c.text);
        Type(c.field == PortField ? IntervalField : PortField, c.field == PortField ? "60" : "80");
        ASSERT_TRUE(IsWindowVisible(GetDlgItem(window, SaveCommand)));
        Click(window, SaveCommand);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.message);
        EXPECT_EQ(boxes[0].caption, "win32_window_tests");
        EXPECT_EQ(boxes[0].flags & MB_ICONMASK, static_cast<unsigned>(MB_ICONEXCLAMATION));
        EXPECT_EQ(GetFocus(), GetDlgItem(window, c.field));
        DWORD begin = 1, end = 0;
        SendDlgItemMessageW(window, c.field, EM_GETSEL, reinterpret_cast<WPARAM>(&begin),
                            reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(begin, 0u);
        EXPECT_EQ(end, std::string(c.text).size());
        // Nothing stored, no confirmation, the Save button still shown.
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(window, SaveCommand)));
        EXPECT_EQ(test::ReadSettingText(L"Interval"), L"<unreadable>");
        dialog.reset();
    }
}

TEST_F(Win32WindowTest, SaveWritesTheStoreConfirmsAndHidesTheButton) {
    HWND window = Open();
    Type(PortField, "8080");
    Type(IntervalField, " 5 ");
    SendMessageW(GetDlgItem(window, NntpCheck), BM_CLICK, 0, 0);
    ASSERT_TRUE(IsWindowVisible(GetDlgItem(window, SaveCommand)));
    boxes.clear();
    Click(window, SaveCommand);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, Text(UiText::SettingsSaved));
    EXPECT_EQ(boxes[0].caption, "IIS Tolvane");
    EXPECT_EQ(boxes[0].flags & MB_ICONMASK, static_cast<unsigned>(MB_ICONINFORMATION));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(window, SaveCommand)));
    Settings stored;
    SettingsStore(hive).LoadSettings(stored);
    EXPECT_EQ(stored.Port, 8080u);
    EXPECT_EQ(stored.Interval, 5u);
    EXPECT_EQ(stored.CheckNntpSvc, 1u);
}

// Save and the mail dialog's OK where the store refuses: the reason in a box, the Save button
// and the mail dialog kept, so nothing typed is lost.
TEST_F(Win32WindowTest, AFailedSaveSaysWhyAndKeepsWhatWasTyped) {
    HWND window = Open();
    test::MakeSettingsKeyUncreatable();
    const std::string notSaved = Text(UiText::SettingsNotSaved) + "\n";

    Type(IntervalField, "120");
    boxes.clear();
    Click(window, SaveCommand);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.rfind(notSaved, 0), 0u) << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("Zr.ClassDlg.1\\Setting"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(boxes[0].caption, "IIS Tolvane");
    EXPECT_EQ(boxes[0].flags & MB_ICONMASK, static_cast<unsigned>(MB_ICONEXCLAMATION));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(window, SaveCommand)));
    EXPECT_EQ(TextOf(IntervalField), "120");

    boxes.clear();
    WhileModal(
        window, [&] { Click(window, MailSettingsCommand); },
        [&](HWND mail) {
            SendMessageW(mail, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text.rfind(notSaved, 0), 0u) << boxes[0].text;
            EXPECT_EQ(boxes[0].flags & MB_ICONMASK, static_cast<unsigned>(MB_ICONEXCLAMATION));
            EXPECT_TRUE(IsWindowVisible(mail)) << "the mail dialog stays open";
            SendMessageW(mail, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        });
    test::DeleteSettingsKey();
}

// Without the rights to restart the services or to save its settings, the window says so once
// it is up: in its status line and in one box. Wine's service manager grants every caller
// everything, so the services' answers come from the seam here (the real question is asked in
// win32_platform_tests); the key's refusal is the registry's own.
TEST_F(Win32WindowTest, WithoutTheRightsItsWorkNeedsTheWindowSaysSoOnceAtStart) {
    SettingsStore(hive).SaveSettings(Settings{});
    ASSERT_TRUE(test::MakeSettingsKeyReadOnly(true));
    std::vector<std::string> asked;
    auto denied = [&asked](const std::string& name) {
        asked.push_back(name);
        return name == "iisadmin";
    };
    startNote = [&denied](const Settings& record, const LoadReport& load) {
        return MissingRightsNote(UncontrollableServices(record, denied), load);
    };
    const std::string note = Sjis(
        "サービスを開始・停止する権限がありません (iisadmin): 管理者として実行してください"
        "　設定を保存できません: 管理者として実行してください");
    Open();
    ASSERT_TRUE(PumpUntil([&] { return !boxes.empty(); }, 10000));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, note);
    EXPECT_EQ(boxes[0].caption, "IIS Tolvane");
    EXPECT_EQ(boxes[0].flags & MB_ICONMASK, static_cast<unsigned>(MB_ICONEXCLAMATION));
    EXPECT_EQ(TextOf(StatusLine), note);
    EXPECT_EQ(asked, (std::vector<std::string>{"w3svc", "iisadmin", "msftpsvc", "smtpsvc"}));
    // Once: nothing more comes while the window runs on.
    PumpUntil([] { return false; }, 500);
    EXPECT_EQ(boxes.size(), 1u);
    test::DeleteSettingsKey();
}

TEST_F(Win32WindowTest, WithTheRightsItsWorkNeedsTheWindowOpensAsEver) {
    startNote = [](const Settings& record, const LoadReport& load) {
        return MissingRightsNote(
            UncontrollableServices(record, [](const std::string&) { return false; }), load);
    };
    Open();
    PumpUntil([] { return false; }, 500);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(TextOf(StatusLine), Text(UiText::Ready));
}

TEST_F(Win32WindowTest, StartStopHideAndASecondStartBringTheWindowBack) {
    LoopbackOnlyListener listener;
    HWND window = Open();
    std::vector<std::string> statuses;
    Type(PortField, std::to_string(listener.Port()).c_str());
    Type(IntervalField, "1");
    Click(window, StartCommand);
    // From Start until the first check has ended nothing can be changed, stopped or hidden.
    for (int id : {StartCommand, ExitCommand, SaveCommand, PortField, IntervalField, StopCommand,
                   HideCommand}) {
        EXPECT_FALSE(Enabled(id)) << id;
    }
    EXPECT_TRUE(dialog->TimerArmed(CheckTimer));
    ASSERT_TRUE(PumpUntil([&] {
        const std::string status = TextOf(StatusLine);
        if (statuses.empty() || statuses.back() != status) {
            statuses.push_back(status);
        }
        return dialog->Cycle().CycleBusy() == 0 && statuses.size() >= 2;
    }));
    EXPECT_NE(statuses.back(), Text(UiText::Ready));
    EXPECT_TRUE(Enabled(StopCommand));
    EXPECT_TRUE(Enabled(HideCommand));
    EXPECT_FALSE(Enabled(StartCommand));
    EXPECT_FALSE(Enabled(ExitCommand));

    // Hide, then a second copy of the program shows the window again and ends.
    Click(window, HideCommand);
    EXPECT_FALSE(IsWindowVisible(window));
    const std::string instance = "win32window" + std::to_string(GetCurrentProcessId());
    SetEnvironmentVariableA("TOLVANE_TEST_INSTANCE", instance.c_str());
    _putenv_s("TOLVANE_TEST_INSTANCE", instance.c_str());
    InstanceMarker marker(InstanceMarker::ProgramName());
    ASSERT_EQ(marker.State(), InstanceMarker::Claim::Held);
    std::wstring line = ToWide(std::string(TOLVANE_BIN_DIR) + "/tolvane.exe");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    EXPECT_TRUE(
        PumpUntil([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_TRUE(IsWindowVisible(window));

    Click(window, StopCommand);
    EXPECT_EQ(dialog->Cycle().Stopped(), 1u);
    EXPECT_FALSE(dialog->TimerArmed(CheckTimer));
    EXPECT_TRUE(Enabled(StartCommand));
    EXPECT_TRUE(Enabled(ExitCommand));
}

TEST_F(Win32WindowTest, TheTrayIconShowsTheWindowAndGoesWithIt) {
    HWND window = Open();
    ASSERT_TRUE(dialog->Tray().Shown());
    ShowWindow(window, SW_HIDE);
    // A single click does nothing; a double click shows the window.
    SendMessageW(window, MonitorDialog::kTrayMessage, 1, WM_LBUTTONDOWN);
    EXPECT_FALSE(IsWindowVisible(window));
    SendMessageW(window, MonitorDialog::kTrayMessage, 1, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(IsWindowVisible(window));
    Click(window, ExitCommand);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(dialog->Tray().Shown());
}

TEST_F(Win32WindowTest, TheAboutBoxOpensFromItsTemplateAndClosesWithOk) {
    HWND window = Open();
    for (int trigger : {AboutCommand, IconControlId}) {
        WhileModal(
            window, [&] { Click(window, trigger); },
            [&](HWND box) {
                EXPECT_EQ(TextCp932(box), "About IIS Tolvane");
                EXPECT_EQ(ItemTextCp932(box, IDOK), "OK");
                ExpectPlacements(box, kAboutPlacements);
                SendMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            });
    }
    // The system menu's item too.
    WhileModal(
        window, [&] { SendMessageW(window, WM_SYSCOMMAND, AboutCommand, 0); },
        [&](HWND box) { SendMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0); });
    EXPECT_TRUE(Enabled(StartCommand));
    EXPECT_TRUE(dialog->Tray().Shown());
}

}  // namespace
}  // namespace tolvane
