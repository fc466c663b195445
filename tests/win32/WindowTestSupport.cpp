#include "tests/win32/WindowTestSupport.h"

#include <cstring>
#include <string>
#include <utility>

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

// The style bits a template sets for a control of this predefined class (by its atom: 0x80
// button, 0x81 edit, 0x82 static) and that the test compares.
DWORD TemplateBits(WORD classAtom) {
    DWORD kind = 0;
    if (classAtom == 0x80) {
        kind = BS_TYPEMASK;
    } else if (classAtom == 0x81) {
        kind = ES_NUMBER | ES_MULTILINE | ES_WANTRETURN | ES_AUTOHSCROLL | ES_AUTOVSCROLL;
    } else if (classAtom == 0x82) {
        kind =
            SS_TYPEMASK | SS_SUNKEN | SS_CENTERIMAGE | SS_NOTIFY | SS_NOPREFIX | SS_REALSIZECONTROL;
    }
    return WS_TABSTOP | WS_GROUP | WS_VSCROLL | kind;
}

// Reads a DLGTEMPLATEEX resource: its words in order, with the strings and ordinals it holds.
class TemplateReader {
public:
    explicit TemplateReader(const BYTE* at) : at_(at) {}
    WORD Word() { return Take<WORD>(); }
    DWORD Dword() { return Take<DWORD>(); }
    // A string, or 0xFFFF and an ordinal (returned; 0 for a string). A predefined class named
    // by its string gives the ordinal that stands for it.
    WORD StringOrOrdinal() {
        WORD first = Word();
        if (first == 0xFFFF) {
            return Word();
        }
        std::wstring text;
        for (; first != 0; first = Word()) {
            text += static_cast<wchar_t>(first);
        }
        constexpr std::pair<const wchar_t*, WORD> kClasses[] = {
            {L"Button", 0x80}, {L"Edit", 0x81}, {L"Static", 0x82}};
        for (const auto& [name, atom] : kClasses) {
            if (lstrcmpiW(text.c_str(), name) == 0) {
                return atom;
            }
        }
        return 0;
    }
    void Skip(std::size_t bytes) { at_ += bytes; }
    void AlignDword() {
        while (reinterpret_cast<std::uintptr_t>(at_) % 4 != 0) {
            ++at_;
        }
    }

private:
    template <typename T>
    T Take() {
        T value;
        std::memcpy(&value, at_, sizeof value);
        at_ += sizeof value;
        return value;
    }
    const BYTE* at_;
};

}  // namespace

void ExpectTemplateStyles(int templateId, std::span<const DWORD> styles) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(templateId), MAKEINTRESOURCEW(5));
    ASSERT_NE(found, nullptr);
    TemplateReader reader(static_cast<const BYTE*>(LockResource(LoadResource(module, found))));
    ASSERT_EQ(reader.Word(), 1) << "a DIALOGEX template";
    ASSERT_EQ(reader.Word(), 0xFFFF);
    reader.Skip(8);  // help id, extended style
    const DWORD dialogStyle = reader.Dword();
    const WORD count = reader.Word();
    reader.Skip(8);            // x, y, cx, cy
    reader.StringOrOrdinal();  // menu
    reader.StringOrOrdinal();  // class
    reader.StringOrOrdinal();  // title
    if ((dialogStyle & DS_SETFONT) != 0) {
        reader.Skip(6);  // point size, weight, italic, character set
        reader.StringOrOrdinal();
    }
    ASSERT_EQ(count, styles.size()) << "controls in the template";
    for (std::size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        reader.AlignDword();
        reader.Skip(8);  // help id, extended style
        const DWORD style = reader.Dword();
        reader.Skip(8);  // x, y, cx, cy
        const DWORD id = reader.Dword();
        const WORD classAtom = reader.StringOrOrdinal();
        reader.StringOrOrdinal();    // text
        reader.Skip(reader.Word());  // creation data
        EXPECT_EQ(style & TemplateBits(classAtom), styles[i])
            << "control " << static_cast<int>(static_cast<short>(id)) << " has style 0x" << std::hex
            << style;
    }
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

Ticker::Ticker(std::function<void()> tick)
    : previous_(std::exchange(TickerCall(), std::move(tick))) {
    timer_ = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        // A copy: a tick may start a Ticker of its own, which takes the place of this call.
        const std::function<void()> call = TickerCall();
        if (call) {
            call();
        }
    });
}

Ticker::~Ticker() {
    KillTimer(nullptr, timer_);
    TickerCall() = std::move(previous_);
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
    parts.clock = &clock;
    parts.sendMail = NotificationMailOn(clock);
    dialog = std::make_unique<MonitorDialog>(hive, parts);
    if (startNote) {
        dialog->SetStartNote(startNote);
    }
    HWND window = dialog->Open();
    EXPECT_NE(window, nullptr);
    return window;
}

std::string Win32WindowTest::TextOf(int id) const {
    return ItemTextCp932(dialog->Window(), id);
}

}  // namespace tolvane::test
