#include "ui/win32/MonitorDialog.h"

#include <windows.h>

#include <array>
#include <optional>

#include "os/Win32Text.h"
#include "ui/model/CommandId.h"
#include "ui/model/UiTexts.h"
#include "ui/win32/AboutDialog.h"
#include "ui/win32/MailSettingsDialog.h"
#include "ui/win32/MessageBox.h"
#include "ui/win32/NumberField.h"
#include "ui/win32/WindowText.h"

namespace tolvane {

namespace {

constexpr int kTemplate = ID_MAIN_WINDOW;
constexpr int kTrayMenu = ID_TRAY_MENU;
constexpr int kIcon = ID_PROGRAM_ICON;
constexpr int kAboutString = ID_ABOUT_ITEM_TEXT;

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

// Messages the window sends itself: a number field's reading once the focus has moved; the
// start note once the window is up.
constexpr UINT kReadLeftField = WM_APP + 1;
constexpr UINT kStartNote = WM_APP + 2;

// The window's cycle waits serving the window's messages, unless its owner gave it a clock
// of its own (tests in virtual time).
CycleParts Served(CycleParts parts, Clock& clock) {
    if (parts.clock == nullptr || parts.clock == &RealClock()) {
        parts.clock = &clock;
    }
    return parts;
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
            // Explorer announces a restart of the task bar; the icon is added again then. Both
            // messages also reach a window that runs elevated.
            self->taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
            for (UINT allowed : {self->taskbarCreated_, MonitorDialog::ShowRequestMessage()}) {
                ChangeWindowMessageFilterEx(window, allowed, MSGFLT_ALLOW, nullptr);
            }
            self->SetTexts();
            self->model_.Open();
            if (self->startNote_) {
                PostMessageW(window, kStartNote, 0, 0);
            }
            // The focus has been placed already.
            return FALSE;
        }
        auto* self = reinterpret_cast<MonitorDialog*>(GetWindowLongPtrW(window, DWLP_USER));
        return self == nullptr ? FALSE : self->Handle(message, wParam, lParam);
    }
};

MonitorDialog::MonitorDialog(RegistryHive& classesRoot, CycleParts parts)
    : model_(classesRoot, Served(std::move(parts), clock_), *this) {}

unsigned MonitorDialog::ShowRequestMessage() {
    static const UINT message = RegisterWindowMessageW(L"IIS Tolvane.ShowWindow");
    return message;
}

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

void MonitorDialog::SetWindowIcons() {
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
    icon_ = ProgramIcon(GetSystemMetrics(SM_CXICON));
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(window_, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(ProgramIcon(GetSystemMetrics(SM_CXSMICON))));
    SendDlgItemMessageW(window_, IconControlId, STM_SETICON, reinterpret_cast<WPARAM>(icon_), 0);
}

void MonitorDialog::AddTrayIcon() {
    // The icon takes a handle of its own, which it destroys. Refused (no shell yet), it comes
    // with the shell's TaskbarCreated; until then Hide minimises.
    tray_.Add(window_, kTrayMessage, CopyIcon(ProgramIcon(GetSystemMetrics(SM_CXSMICON))),
              Text(UiText::TrayTip));
}

void MonitorDialog::SetStatusLine(const std::string& cp932) {
    SetItemTextCp932(window_, StatusLine, cp932);
    if (tickRunning_) {
        // Why a logoff waits: what the restart does now.
        ShutdownBlockReasonCreate(window_, ToWide(cp932).c_str());
    }
}

void MonitorDialog::ShowStatusNote(const std::string& cp932) {
    SetItemTextCp932(window_, StatusLine, cp932);
    UpdateWindow(window_);
}

void MonitorDialog::SetChecked(int id, bool checked) {
    CheckDlgButton(window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool MonitorDialog::Checked(int id) const {
    return IsDlgButtonChecked(window_, id) == BST_CHECKED;
}

void MonitorDialog::SetNumber(int id, std::uint32_t value) {
    SetDlgItemTextW(window_, id, std::to_wstring(value).c_str());
}

bool MonitorDialog::ReadNumber(int id, const NumberRule& rule, std::uint32_t& value) {
    return ReadNumberField(window_, id, rule, value);
}

void MonitorDialog::EnableControl(int id, bool enabled) {
    if (HWND control = GetDlgItem(window_, id)) {
        if (EnableWindow(control, enabled ? TRUE : FALSE) != (enabled ? FALSE : TRUE)) {
            // Drawn in its new state now: the thread may go on with a wait.
            RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        }
    }
}

void MonitorDialog::ShowSaveButton(bool shown) {
    ::ShowWindow(GetDlgItem(window_, SaveCommand), shown ? SW_SHOW : SW_HIDE);
}

void MonitorDialog::CheckMenuItem(int id, bool checked) {
    ::CheckMenuItem(GetMenu(window_), static_cast<UINT>(id), checked ? MF_CHECKED : MF_UNCHECKED);
}

void MonitorDialog::EnableMenuItem(int id, bool enabled) {
    ::EnableMenuItem(GetMenu(window_), static_cast<UINT>(id),
                     MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void MonitorDialog::EnableWindowMenuItem(int id, bool enabled) {
    ::EnableMenuItem(GetSystemMenu(window_, FALSE), static_cast<UINT>(id),
                     MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void MonitorDialog::DrawNow() {
    // The thread may block right after this; draw now, not when the loop comes back.
    UpdateWindow(window_);
}

namespace {

bool IsPushButton(HWND control) {
    const LRESULT code = SendMessageW(control, WM_GETDLGCODE, 0, 0);
    return (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
}

// The first enabled tab stop that is not a push button: a focused push button would take
// Return for itself.
HWND FirstField(HWND dialog) {
    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    for (HWND item = first; item != nullptr;) {
        if (IsWindowEnabled(item) && !IsPushButton(item)) {
            return item;
        }
        item = GetNextDlgTabItem(dialog, item, FALSE);
        if (item == first) {
            break;
        }
    }
    return nullptr;
}

}  // namespace

void MonitorDialog::FocusDialog() {
    // Return goes to the default button (Hide): it gets the focus itself when it can be
    // pressed, else the first field does. Never the window itself, where Return and typing
    // would go nowhere.
    const LRESULT defaultId = SendMessageW(window_, DM_GETDEFID, 0, 0);
    HWND target =
        HIWORD(defaultId) == DC_HASDEFID ? GetDlgItem(window_, LOWORD(defaultId)) : nullptr;
    if (target == nullptr || !IsWindowEnabled(target) || !IsWindowVisible(target)) {
        target = FirstField(window_);
    }
    if (target != nullptr) {
        FocusControl(window_, target);
    }
}

bool MonitorDialog::ModalOpen() const {
    // A modal dialog or message box owned by the window disables it.
    return window_ != nullptr && (!IsWindowEnabled(window_) || menuOpen_);
}

void MonitorDialog::HideWindow() {
    // Without an icon in the notification area a hidden window could not be brought back.
    ::ShowWindow(window_, tray_.Added() ? SW_HIDE : SW_MINIMIZE);
}

void MonitorDialog::ShowOnRequest() {
    ::ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(window_);
}

void MonitorDialog::ShowWindow() {
    ::ShowWindow(window_, SW_SHOW);
    BringWindowToTop(window_);
}

void MonitorDialog::ArmTimer(int id, std::uint32_t ms) {
    SetTimer(window_, static_cast<UINT_PTR>(id), ms, nullptr);
    armed_.insert(id);
    deferred_.erase(id);
}

void MonitorDialog::KillTimer(int id) {
    ::KillTimer(window_, static_cast<UINT_PTR>(id));
    armed_.erase(id);
    deferred_.erase(id);
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
            if (busy_ > 0 &&
                !SystemCommandAnsweredWhileBusy(static_cast<unsigned>(wParam & 0xFFF0))) {
                return TRUE;
            }
            model_.GreyMenus();
            return model_.WindowMenuCommand(static_cast<int>(wParam & 0xFFF0)) ? TRUE : FALSE;
        case WM_TIMER: {
            const int id = static_cast<int>(wParam);
            if (busy_ > 0) {
                // Expired while a handler waits: it comes once the handler has ended.
                ::KillTimer(window_, static_cast<UINT_PTR>(id));
                deferred_.insert(id);
                return TRUE;
            }
            // One-shot, as the cycle's host arms them; the cycle re-arms what it needs.
            KillTimer(id);
            RunBusy(id == CheckTimer, [this, id] { model_.OnTimer(id); });
            return TRUE;
        }
        case WM_QUERYENDSESSION:
            // A logoff or shutdown waits for the end of a restart, which would otherwise leave
            // the web server stopped.
            SetWindowLongPtrW(window_, DWLP_MSGRESULT, tickRunning_ ? FALSE : TRUE);
            return TRUE;
        case WM_ENTERMENULOOP:
        case WM_EXITMENULOOP:
            menuOpen_ = message == WM_ENTERMENULOOP;
            return FALSE;
        case kTrayMessage:
            TrayCallback(lParam);
            return TRUE;
        case kReadLeftField:
            model_.ReadLeftField();
            return TRUE;
        case kStartNote:
            if (const std::string note = startNote_(Record(), model_.Store().LastLoad());
                !note.empty()) {
                ShowStatusNote(note);
                ShowProgramMessage(window_, false, note);
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
            if (message == ShowRequestMessage()) {
                ShowOnRequest();
                return TRUE;
            }
            if (taskbarCreated_ != 0 && message == taskbarCreated_) {
                AddTrayIcon();
                return TRUE;
            }
            return FALSE;
    }
}

template <typename Handler>
void MonitorDialog::RunBusy(bool restartMayRun, Handler handler) {
    if (busy_++ == 0) {
        tickRunning_ = restartMayRun;
    }
    handler();
    if (--busy_ > 0 || window_ == nullptr) {
        return;
    }
    if (tickRunning_) {
        tickRunning_ = false;
        ShutdownBlockReasonDestroy(window_);
    }
    for (int id : deferred_) {
        SetTimer(window_, static_cast<UINT_PTR>(id), USER_TIMER_MINIMUM, nullptr);
    }
    deferred_.clear();
}

bool MonitorDialog::AnsweredWhileBusy(int command) {
    // Exit stays: its rule keeps it disabled, and the dialog manager beeps.
    return command == ShowCommand || command == HideCommand || command == ExitCommand ||
           command == AutoModeCommand || command == ManualModeCommand;
}

bool MonitorDialog::SystemCommandAnsweredWhileBusy(unsigned command) {
    return command == SC_MINIMIZE || command == SC_RESTORE || command == SC_CLOSE ||
           command == HideWindowItem;
}

void MonitorDialog::Notification(int id, int code) {
    switch (id) {
        case PortField:
        case IntervalField:
            if (code == EN_CHANGE) {
                model_.ControlEdited();
            } else if (code == EN_KILLFOCUS && IsWindowEnabled(GetDlgItem(window_, id)) &&
                       model_.FieldLeft()) {
                PostMessageW(window_, kReadLeftField, 0, 0);
            }
            return;
        case FtpCheck:
        case SmtpCheck:
        case MsdtcCheck:
        case NntpCheck:
            if (code == BN_CLICKED) {
                model_.ControlEdited();
            }
            return;
        default:
            // Buttons, menus and accelerators; the icon control reports its click as 0 too.
            // All come through the dialog manager, which sends Exit for Esc as well.
            if (code != BN_CLICKED && code != 1) {
                return;
            }
            if (busy_ > 0 && !AnsweredWhileBusy(id)) {
                return;
            }
            if (id == ConnectionTestCommand) {
                RunBusy(false, [this, id] { model_.Command(id, CommandSource::DialogManager); });
            } else {
                model_.Command(id, CommandSource::DialogManager);
            }
            return;
    }
}

void MonitorDialog::TrayCallback(std::intptr_t mouseMessage) {
    switch (mouseMessage) {
        case WM_RBUTTONUP:
            if (busy_ > 0) {
                // The menu's own loop would hold the cycle's wait up.
                break;
            }
            SetForegroundWindow(window_);
            ShowTrayMenu();
            break;
        case WM_LBUTTONDBLCLK:
            model_.Command(ShowCommand);
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

void MonitorDialog::Close() {
    tray_.Remove();
    if (modal_) {
        EndDialog(window_, IDCANCEL);
    } else {
        DestroyWindow(window_);
    }
}

void MonitorDialog::Beep() {
    // As the dialog manager beeps for the cancel command of a disabled button.
    MessageBeep(0);
}

void MonitorDialog::Message(bool information, const std::string& cp932,
                            const std::string& systemText) {
    // The system's own text is code page 932 here as well.
    ShowProgramMessage(window_, information, cp932 + systemText);
}

void MonitorDialog::OpenMailSettings() {
    MailSettingsDialog::Edit(window_, model_.Record(), model_.Store(), model_.SendMail());
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
