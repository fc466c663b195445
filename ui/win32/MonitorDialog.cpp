#include "ui/win32/MonitorDialog.h"

#include <windows.h>

#include <array>
#include <optional>

#include "ui/model/CommandId.h"
#include "ui/model/EnablingRules.h"
#include "ui/model/ExchangeGuard.h"
#include "ui/model/UiTexts.h"
#include "ui/model/WindowCommands.h"
#include "ui/win32/AboutDialog.h"
#include "ui/win32/MailSettingsDialog.h"
#include "ui/win32/MessageBox.h"
#include "ui/win32/NumberField.h"
#include "ui/win32/WindowText.h"

namespace tolvane {

namespace {

constexpr int kTemplate = 102;
constexpr int kTrayMenu = 130;
constexpr int kIcon = 128;
constexpr int kAboutString = 101;

// The texts of template 102's controls, in its order.
constexpr std::array<std::optional<UiText>, 17> kControlTexts{
    UiText::IntervalLabel, std::nullopt,       UiText::IntervalUnit,
    UiText::PortLabel,     std::nullopt,       UiText::ConnectionTestButton,
    UiText::FtpCheck,      UiText::SmtpCheck,  UiText::NntpCheck,
    UiText::MsdtcCheck,    std::nullopt,       UiText::StatusPlaceholder,
    UiText::StartButton,   UiText::StopButton, UiText::SaveButton,
    UiText::HideButton,    UiText::ExitButton};

struct MenuText {
    int id;
    UiText text;
};
constexpr MenuText kMenuTexts[] = {
    {MailSettingsCommand, UiText::MailSettingsItem},
    {ManualModeCommand, UiText::ManualItem},
    {AutoModeCommand, UiText::AutoItem},
    {ExitCommand, UiText::ExitItem},
    {AboutCommand, UiText::AboutItem},
};
constexpr MenuText kTrayMenuTexts[] = {
    {ShowCommand, UiText::TrayShowItem},
    {AboutCommand, UiText::AboutItem},
};

// Messages the window sends itself: a number field's reading once the focus has moved.
constexpr UINT kReadLeftField = WM_APP + 1;

void SetCheck(HWND window, int id, std::uint32_t flag) {
    CheckDlgButton(window, id, flag != 0 ? BST_CHECKED : BST_UNCHECKED);
}

std::uint32_t Checked(HWND window, int id) {
    return IsDlgButtonChecked(window, id) == BST_CHECKED ? 1 : 0;
}

void SetNumber(HWND window, int id, std::uint32_t value) {
    SetDlgItemTextW(window, id, std::to_wstring(value).c_str());
}

// Shared: loaded once per size for the program's life, so a window opened again takes no more.
HICON ProgramIcon(int size) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIcon),
                                         IMAGE_ICON, size, size, LR_DEFAULTCOLOR | LR_SHARED));
}

}  // namespace

// The dialog procedure: binds the window to its object, then hands every message on.
struct MonitorDialogProcedure {
    static INT_PTR CALLBACK Run(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            auto* self = reinterpret_cast<MonitorDialog*>(lParam);
            SetWindowLongPtrW(window, DWLP_USER, lParam);
            self->window_ = window;
            self->Opening();
            // The focus has been placed already.
            return FALSE;
        }
        auto* self = reinterpret_cast<MonitorDialog*>(GetWindowLongPtrW(window, DWLP_USER));
        return self == nullptr ? FALSE : self->Handle(message, wParam, lParam);
    }
};

MonitorDialog::MonitorDialog(RegistryHive& classesRoot, CycleParts parts)
    : hive_(classesRoot),
      store_(hive_),
      sendMail_(parts.sendMail),
      cycle_(settings_, *this, std::move(parts)) {}

MonitorDialog::~MonitorDialog() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

void MonitorDialog::RunModal() {
    modal_ = true;
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kTemplate), nullptr,
                    MonitorDialogProcedure::Run, reinterpret_cast<LPARAM>(this));
}

HWND MonitorDialog::Open() {
    modal_ = false;
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kTemplate), nullptr,
                              MonitorDialogProcedure::Run, reinterpret_cast<LPARAM>(this));
}

void MonitorDialog::Opening() {
    SetTexts();
    ExchangeToControls();
    store_.LoadSettings(settings_);
    EditSystemMenu();
    icon_ = ProgramIcon(GetSystemMetrics(SM_CXICON));
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(window_, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(ProgramIcon(GetSystemMetrics(SM_CXSMICON))));
    SendDlgItemMessageW(window_, IconControlId, STM_SETICON, reinterpret_cast<WPARAM>(icon_), 0);
    cycle_.Open();
    CheckStartupMode();
    cycle_.StatusText = Text(UiText::Ready);
    ShowStatus();
    RefreshControls();
    FocusWindow();
    // The icon takes a handle of its own, which it destroys.
    tray_.Add(window_, kTrayMessage, CopyIcon(ProgramIcon(GetSystemMetrics(SM_CXSMICON))),
              Text(UiText::TrayTip));
    cycle_.ArmAutoStart();
}

void MonitorDialog::SetTexts() {
    SetTextCp932(window_, Text(UiText::WindowTitle));
    SetChildTexts(window_, kControlTexts);
    HMENU menu = GetMenu(window_);
    SetPopupText(menu, 0, UiText::FileMenu);
    SetPopupText(menu, 1, UiText::HelpMenu);
    SetPopupText(GetSubMenu(menu, 0), 2, UiText::StartupModeMenu);
    for (const MenuText& item : kMenuTexts) {
        SetMenuText(menu, item.id, item.text);
    }
    DrawMenuBar(window_);
}

void MonitorDialog::EditSystemMenu() {
    HMENU system = GetSystemMenu(window_, FALSE);
    // Restore, then Size, then Maximise: the standard menu keeps Move, Minimise and Close.
    for (int position : {0, 1, 2}) {
        RemoveMenu(system, static_cast<UINT>(position), MF_BYPOSITION);
    }
    AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(system, MF_STRING, HideWindowItem, L".");
    SetMenuText(system, HideWindowItem, UiText::HideWindowItem);
    wchar_t about[64];
    if (LoadStringW(GetModuleHandleW(nullptr), kAboutString, about, 64) > 0) {
        AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(system, MF_STRING, AboutCommand, about);
    }
}

void MonitorDialog::ExchangeToControls() {
    ExchangeGuard guard(exchanging_);
    SetItemTextCp932(window_, StatusLine, cycle_.StatusText);
    SetCheck(window_, FtpCheck, settings_.CheckFtpSvc);
    SetCheck(window_, SmtpCheck, settings_.CheckSmtpSvc);
    SetNumber(window_, PortField, settings_.Port);
    SetCheck(window_, MsdtcCheck, settings_.CheckMsdtc);
    SetNumber(window_, IntervalField, settings_.Interval);
    SetCheck(window_, NntpCheck, settings_.CheckNntpSvc);
}

bool MonitorDialog::ReadControls() {
    ExchangeGuard guard(exchanging_);
    // This reading also serves a field left a moment ago.
    readPending_ = false;
    settings_.CheckFtpSvc = Checked(window_, FtpCheck);
    settings_.CheckSmtpSvc = Checked(window_, SmtpCheck);
    if (!ReadNumberField(window_, PortField, RuleOf(&Settings::Port), settings_.Port)) {
        return false;
    }
    settings_.CheckMsdtc = Checked(window_, MsdtcCheck);
    if (!ReadNumberField(window_, IntervalField, RuleOf(&Settings::Interval), settings_.Interval)) {
        return false;
    }
    settings_.CheckNntpSvc = Checked(window_, NntpCheck);
    return true;
}

void MonitorDialog::ShowStatus() {
    ExchangeToControls();
    // The thread may block right after this; draw now, not when the loop comes back.
    UpdateWindow(window_);
}

void MonitorDialog::RefreshControls() {
    for (int id : RuledCommands()) {
        if (HWND control = GetDlgItem(window_, id)) {
            EnableWindow(control, CommandEnabled(id, cycle_) ? TRUE : FALSE);
        }
    }
}

void MonitorDialog::FocusWindow() {
    // As the dialog manager passes the focus on: never the window itself, where Return and
    // typing would go nowhere.
    if (HWND first = GetNextDlgTabItem(window_, nullptr, FALSE)) {
        FocusControl(window_, first);
    }
}

void MonitorDialog::HideWindow() {
    ::ShowWindow(window_, SW_HIDE);
}

void MonitorDialog::ShowWindow() {
    ::ShowWindow(window_, SW_SHOW);
    BringWindowToTop(window_);
}

void MonitorDialog::ArmTimer(int id, std::uint32_t ms) {
    SetTimer(window_, static_cast<UINT_PTR>(id), ms, nullptr);
    armed_.insert(id);
}

void MonitorDialog::KillTimer(int id) {
    ::KillTimer(window_, static_cast<UINT_PTR>(id));
    armed_.erase(id);
}

void MonitorDialog::Repaint() {
    RedrawWindow(window_, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

std::intptr_t MonitorDialog::Handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    switch (message) {
        case WM_COMMAND:
            Notification(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_SYSCOMMAND:
            return SystemCommand(wParam) ? TRUE : FALSE;
        case WM_TIMER:
            // One-shot, as the cycle's host arms them; the cycle re-arms what it needs.
            KillTimer(static_cast<int>(wParam));
            cycle_.OnTimer(static_cast<int>(wParam));
            return TRUE;
        case kTrayMessage:
            TrayCallback(lParam);
            return TRUE;
        case kReadLeftField:
            if (readPending_ && !exchanging_) {
                ReadControls();
            }
            return TRUE;
        case WM_PAINT:
            if (IsIconic(window_)) {
                PaintMinimised();
                return TRUE;
            }
            return FALSE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(icon_);
        case WM_DESTROY:
            tray_.Remove();
            for (int id : std::set<int>(armed_)) {
                KillTimer(id);
            }
            return FALSE;
        case WM_NCDESTROY:
            window_ = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

void MonitorDialog::Notification(int id, int code) {
    switch (id) {
        case PortField:
        case IntervalField:
            if (exchanging_) {
                return;
            }
            if (code == EN_CHANGE) {
                ::ShowWindow(GetDlgItem(window_, SaveCommand), SW_SHOW);
            } else if (code == EN_KILLFOCUS && IsWindowEnabled(GetDlgItem(window_, id))) {
                // Read once the focus has moved, not inside the move; a command that reads the
                // fields first (Start, Save, the test) makes this reading moot.
                readPending_ = true;
                PostMessageW(window_, kReadLeftField, 0, 0);
            }
            return;
        case FtpCheck:
        case SmtpCheck:
        case MsdtcCheck:
        case NntpCheck:
            if (code == BN_CLICKED && !exchanging_) {
                ::ShowWindow(GetDlgItem(window_, SaveCommand), SW_SHOW);
            }
            return;
        default:
            // Buttons, menus and accelerators; the icon control reports its click as 0 too.
            if (code == BN_CLICKED || code == 1) {
                Command(id);
            }
            return;
    }
}

void MonitorDialog::Command(int id) {
    if (!CommandEnabled(id, cycle_)) {
        // The dialog manager beeps for the cancel command of a disabled button.
        if (id == ExitCommand) {
            MessageBeep(0);
        }
        return;
    }
    CarryOutCommand(id, *this, cycle_, store_, settings_);
}

bool MonitorDialog::SystemCommand(std::uintptr_t command) {
    EnableMenuItem(GetSystemMenu(window_, FALSE), HideWindowItem,
                   MF_BYCOMMAND | (HideWindowItemEnabled(cycle_) ? MF_ENABLED : MF_GRAYED));
    HMENU menu = GetMenu(window_);
    for (int id : MenuItemsGreyedWhileWaiting()) {
        EnableMenuItem(menu, static_cast<UINT>(id),
                       MF_BYCOMMAND | (MenuItemEnabled(id, cycle_) ? MF_ENABLED : MF_GRAYED));
    }
    switch (command & 0xFFF0) {
        case AboutCommand:
            OpenAbout();
            return true;
        case HideWindowItem:
            if (HideWindowItemEnabled(cycle_)) {
                HideWindow();
            }
            return true;
        default:
            return false;
    }
}

void MonitorDialog::TrayCallback(std::intptr_t mouseMessage) {
    switch (mouseMessage) {
        case WM_RBUTTONUP:
            SetForegroundWindow(window_);
            ShowTrayMenu();
            break;
        case WM_LBUTTONDBLCLK:
            Command(ShowCommand);
            SetForegroundWindow(window_);
            break;
        default:
            break;
    }
}

void MonitorDialog::ShowTrayMenu() {
    POINT cursor{};
    GetCursorPos(&cursor);
    HMENU loaded = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kTrayMenu));
    HMENU popup = GetSubMenu(loaded, 0);
    for (const MenuText& item : kTrayMenuTexts) {
        SetMenuText(popup, item.id, item.text);
    }
    SetMenuDefaultItem(popup, ShowCommand, FALSE);
    TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window_, nullptr);
    DestroyMenu(loaded);
}

void MonitorDialog::Exit() {
    tray_.Remove();
    if (modal_) {
        EndDialog(window_, IDCANCEL);
    } else {
        DestroyWindow(window_);
    }
}

void MonitorDialog::HideSaveButton() {
    ::ShowWindow(GetDlgItem(window_, SaveCommand), SW_HIDE);
}

void MonitorDialog::Message(bool information, const std::string& cp932,
                            const std::string& systemText) {
    // The system's own text is code page 932 here as well.
    ShowProgramMessage(window_, information, cp932 + systemText);
}

void MonitorDialog::OpenMailSettings() {
    MailSettingsDialog::Edit(window_, settings_, store_, sendMail_);
}

void MonitorDialog::CheckStartupMode() {
    HMENU menu = GetMenu(window_);
    CheckMenuItem(menu, AutoModeCommand,
                  settings_.AutoStartupMode != 0 ? MF_CHECKED : MF_UNCHECKED);
    CheckMenuItem(menu, ManualModeCommand,
                  settings_.AutoStartupMode == 0 ? MF_CHECKED : MF_UNCHECKED);
}

void MonitorDialog::OpenAbout() {
    AboutDialog::Show(window_);
}

void MonitorDialog::PaintMinimised() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    SendMessageW(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(window_, &client);
    const int cx = GetSystemMetrics(SM_CXICON);
    const int cy = GetSystemMetrics(SM_CYICON);
    DrawIcon(dc, (client.right - client.left - cx + 1) / 2,
             (client.bottom - client.top - cy + 1) / 2, static_cast<HICON>(icon_));
    EndPaint(window_, &paint);
}

}  // namespace tolvane
