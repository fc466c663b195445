#include "tests/win32/WindowTestSupport.h"

#include "mail/SendNotificationMail.h"
#include "tests/win32/Win32TestSupport.h"
#include "ui/win32/MessageBox.h"
#include "ui/win32/ServingClock.h"
#include "ui/win32/WindowText.h"

namespace tolvane::test {

bool PumpUntil(const std::function<bool()>& condition, DWORD limitMs) {
    const ULONGLONG end = GetTickCount64() + limitMs;
    while (!condition()) {
        if (GetTickCount64() > end) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            // As the program's dialog loop does: keys reach the dialogs' navigation.
            DispatchAsDialogLoop(&message);
        }
    }
    return true;
}

void Click(HWND dialog, int id) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

namespace {

// A control's rectangle in the dialog's client pixels.
RECT ClientRect(HWND dialog, HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// As the dialog manager places a control: position and size each converted on their own.
RECT DialogUnits(HWND dialog, int x, int y, int width, int height) {
    RECT rect{x, y, width, height};
    MapDialogRect(dialog, &rect);
    return RECT{rect.left, rect.top, rect.left + rect.right, rect.top + rect.bottom};
}

}  // namespace

void ExpectPlacements(HWND dialog, std::span<const Placement> placements) {
    HWND child = GetWindow(dialog, GW_CHILD);
    for (std::size_t i = 0; i < placements.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_NE(child, nullptr);
        const Placement& p = placements[i];
        const RECT expected = DialogUnits(dialog, p.x, p.y, p.width, p.height);
        const RECT actual = ClientRect(dialog, child);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        EXPECT_EQ(actual.right, expected.right);
        EXPECT_EQ(actual.bottom, expected.bottom);
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr) << "more controls than the template gives";
}

namespace {

// The style bits a template sets for a control of this class and that the control keeps.
DWORD TemplateBits(HWND control) {
    wchar_t name[16] = {};
    GetClassNameW(control, name, 16);
    DWORD kind = 0;
    if (lstrcmpiW(name, L"Button") == 0) {
        kind = BS_TYPEMASK;
    } else if (lstrcmpiW(name, L"Edit") == 0) {
        kind = ES_NUMBER | ES_MULTILINE | ES_WANTRETURN | ES_AUTOHSCROLL | ES_AUTOVSCROLL;
    } else if (lstrcmpiW(name, L"Static") == 0) {
        kind = SS_TYPEMASK | SS_SUNKEN | SS_CENTERIMAGE | SS_NOTIFY | SS_NOPREFIX |
               SS_REALSIZECONTROL;
    }
    return WS_TABSTOP | WS_GROUP | WS_VSCROLL | kind;
}

}  // namespace

void ExpectStyles(HWND dialog, std::span<const DWORD> styles) {
    HWND child = GetWindow(dialog, GW_CHILD);
    for (std::size_t i = 0; i < styles.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_NE(child, nullptr);
        const DWORD style = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
        EXPECT_EQ(style & TemplateBits(child), styles[i])
            << "control " << GetDlgCtrlID(child) << " has style 0x" << std::hex << style;
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr) << "more controls than the template gives";
}

void ExpectClientSize(HWND dialog, int width, int height) {
    RECT client;
    GetClientRect(dialog, &client);
    const RECT size = DialogUnits(dialog, 0, 0, width, height);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
}

namespace {

std::function<void()>& TickerCall() {
    static std::function<void()> call;
    return call;
}

}  // namespace

Ticker::Ticker(std::function<void()> tick) {
    TickerCall() = std::move(tick);
    timer_ = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        if (TickerCall()) {
            TickerCall()();
        }
    });
}

Ticker::~Ticker() {
    KillTimer(nullptr, timer_);
    TickerCall() = nullptr;
}

HWND FindThreadWindow(const wchar_t* className, HWND owner) {
    struct Search {
        const wchar_t* className;
        HWND owner;
        HWND found;
    } search{className, owner, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM lParam) {
            auto* s = reinterpret_cast<Search*>(lParam);
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            const bool classMatches = s->className == nullptr || wcscmp(name, s->className) == 0;
            const bool ownerMatches =
                s->owner == nullptr || GetWindow(window, GW_OWNER) == s->owner;
            if (classMatches && ownerMatches && IsWindowVisible(window)) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void WhileModal(HWND owner, const std::function<void()>& open,
                const std::function<void(HWND)>& inside) {
    bool ran = false;
    {
        Ticker ticker([&] {
            HWND box = FindThreadWindow(nullptr, owner);
            if (box == nullptr || ran) {
                return;
            }
            ran = true;
            inside(box);
        });
        open();
    }
    EXPECT_TRUE(ran);
}

void Win32WindowTest::SetUp() {
    DeleteSettingsKey();
    SetMessageBoxAnswer([this](const MessageBoxCall& call) {
        boxes.push_back({call.text, call.caption, call.flags});
        if (onBox) {
            onBox(boxes.back());
        }
        return IDOK;
    });
}

void Win32WindowTest::TearDown() {
    dialog.reset();
    SetMessageBoxAnswer({});
}

HWND Win32WindowTest::Open() {
    CycleParts parts;
    parts.computerName = [] { return std::string("127.0.0.1"); };
    parts.runCommand = [](const std::string&, RepaintTarget*) {
        return CommandOutcome::ExitedWith(0);
    };
    parts.sendMail = SendNotificationMail;
    dialog = std::make_unique<MonitorDialog>(hive, parts);
    HWND window = dialog->Open();
    EXPECT_NE(window, nullptr);
    return window;
}

std::string Win32WindowTest::TextOf(int id) const {
    return ItemTextCp932(dialog->Window(), id);
}

}  // namespace tolvane::test
