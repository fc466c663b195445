// The notification-area icon as the shell shows it: Wine's explorer keeps a window per icon
// (winex11's tray: its own "Wine System Tray" window when the X display has no tray) with a
// tool tip holding the tip. The tests read those from explorer's side and click there, so
// the callback travels the shell's way to the main window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/CodePage.h"
#include "os/Win32Text.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/WindowTestSupport.h"
#include "ui/model/CommandId.h"
#include "ui/win32/TrayIcon.h"
#include "ui/win32/WindowText.h"

// <commctrl.h> needs <windows.h> before it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
// clang-format on

namespace tolvane {
namespace {

using test::Click;
using test::FindThreadWindow;
using test::PumpUntil;
using test::Ticker;
using test::Win32WindowTest;

struct ShellIcon {
    HWND window;
    std::wstring tip;
};

// The tools of a tool tip control in another process: its memory is read and written there.
class RemoteToolTips {
public:
    explicit RemoteToolTips(DWORD processId)
        : process_(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE,
                               processId)) {
        if (process_ != nullptr) {
            remote_ =
                VirtualAllocEx(process_, nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        }
    }
    ~RemoteToolTips() {
        if (remote_ != nullptr) {
            VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
        }
        if (process_ != nullptr) {
            CloseHandle(process_);
        }
    }
    RemoteToolTips(const RemoteToolTips&) = delete;
    RemoteToolTips& operator=(const RemoteToolTips&) = delete;

    // Each tool's window and text.
    void Collect(HWND toolTip, std::vector<ShellIcon>& tools) {
        if (remote_ == nullptr) {
            return;
        }
        const auto count = static_cast<UINT>(SendMessageW(toolTip, TTM_GETTOOLCOUNT, 0, 0));
        auto* base = static_cast<char*>(remote_);
        for (UINT i = 0; i < count; ++i) {
            TOOLINFOW info{};
            info.cbSize = sizeof info;
            info.lpszText = reinterpret_cast<wchar_t*>(base + sizeof info);
            const wchar_t empty = 0;
            WriteProcessMemory(process_, base, &info, sizeof info, nullptr);
            WriteProcessMemory(process_, info.lpszText, &empty, sizeof empty, nullptr);
            if (!SendMessageW(toolTip, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(base))) {
                continue;
            }
            std::vector<wchar_t> text((kSize - sizeof info) / sizeof(wchar_t));
            ReadProcessMemory(process_, base, &info, sizeof info, nullptr);
            ReadProcessMemory(process_, base + sizeof info, text.data(),
                              text.size() * sizeof(wchar_t), nullptr);
            text.back() = 0;
            tools.push_back({info.hwnd, text.data()});
        }
    }

private:
    static constexpr SIZE_T kSize = 4096;
    HANDLE process_;
    void* remote_ = nullptr;
};

// Every notification-area icon the shell shows, with its tip.
std::vector<ShellIcon> ShellIcons() {
    struct Found {
        std::vector<HWND> icons;
        std::vector<HWND> toolTips;
    } found;
    auto visit = [](HWND window, LPARAM lParam) {
        auto* f = reinterpret_cast<Found*>(lParam);
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        if (wcscmp(name, L"__winex11_tray_icon") == 0 && IsWindowVisible(window)) {
            f->icons.push_back(window);
        } else if (wcscmp(name, TOOLTIPS_CLASSW) == 0) {
            f->toolTips.push_back(window);
        }
        return TRUE;
    };
    // Docked icons are top-level windows; the standalone tray holds them as children.
    EnumWindows(visit, reinterpret_cast<LPARAM>(&found));
    for (HWND tray = FindWindowW(L"__winex11_standalone_tray", nullptr); tray != nullptr;
         tray = nullptr) {
        EnumChildWindows(tray, visit, reinterpret_cast<LPARAM>(&found));
    }
    std::vector<ShellIcon> tools;
    for (HWND toolTip : found.toolTips) {
        DWORD process = 0;
        GetWindowThreadProcessId(toolTip, &process);
        RemoteToolTips(process).Collect(toolTip, tools);
    }
    std::vector<ShellIcon> icons;
    for (HWND icon : found.icons) {
        ShellIcon shown{icon, L"<no tip>"};
        for (const ShellIcon& tool : tools) {
            if (tool.window == icon) {
                shown.tip = tool.tip;
            }
        }
        icons.push_back(shown);
    }
    return icons;
}

// The shell's icons once it has caught up with `count` of them.
std::vector<ShellIcon> ShellIconsWhen(std::size_t count) {
    std::vector<ShellIcon> icons;
    PumpUntil(
        [&] {
            icons = ShellIcons();
            return icons.size() == count;
        },
        20000);
    return icons;
}

// The icon is added once as the window opens, with its tip, and never changes while the
// monitor starts, checks, hides and shows the window and stops; it goes with the window.
TEST_F(Win32WindowTest, TheShellShowsOneIconWhoseTipNeverChanges) {
    ASSERT_EQ(ShellIcons().size(), 0u) << "an icon left behind by an earlier test";
    test::LoopbackOnlyListener listener;
    HWND window = Open();
    const auto added = ShellIconsWhen(1);
    ASSERT_EQ(added.size(), 1u) << "Wine's shell shows no icon (no window of winex11's tray)";
    EXPECT_EQ(added[0].tip, L"IIS Tolvane");

    auto expectUnchanged = [&](const char* moment) {
        SCOPED_TRACE(moment);
        const auto icons = ShellIcons();
        ASSERT_EQ(icons.size(), 1u);
        EXPECT_EQ(icons[0].window, added[0].window) << "the icon was added again";
        EXPECT_EQ(icons[0].tip, L"IIS Tolvane");
    };
    Type(PortField, std::to_string(listener.Port()).c_str());
    Type(IntervalField, "1");
    Click(window, StartCommand);
    expectUnchanged("started");
    ASSERT_TRUE(
        PumpUntil([&] { return dialog->Cycle().CycleBusy() == 0 && Enabled(HideCommand); }));
    expectUnchanged("first check ended");
    Click(window, HideCommand);
    ASSERT_FALSE(IsWindowVisible(window));
    expectUnchanged("hidden");
    // A double click on the shell's icon reaches the window through the callback message.
    PostMessageW(added[0].window, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(4, 4));
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(window) != 0; }, 20000));
    expectUnchanged("shown");
    Click(window, StopCommand);
    expectUnchanged("stopped");

    Click(window, ExitCommand);
    EXPECT_EQ(ShellIconsWhen(0).size(), 0u) << "no icon left behind after Exit";
}

// Explorer forgets every icon when it restarts and then announces TaskbarCreated to all
// top-level windows; the window adds its icon again, so a hidden window stays reachable.
TEST_F(Win32WindowTest, TheIconComesBackWhenTheShellAnnouncesANewTaskBar) {
    HWND window = Open();
    ASSERT_EQ(ShellIconsWhen(1).size(), 1u);
    // What the shell's restart does to the icon, behind the window's back.
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = 1;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &data));
    ASSERT_EQ(ShellIconsWhen(0).size(), 0u);
    SendMessageW(window, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    const auto icons = ShellIconsWhen(1);
    ASSERT_EQ(icons.size(), 1u) << "the icon was not added again";
    EXPECT_EQ(icons[0].tip, L"IIS Tolvane");
    EXPECT_TRUE(dialog->Tray().Added());
}

// The tip is bounded as its 64-byte ANSI form is: 63 bytes, never half a character.
TEST(Win32TrayIconTest, TheShellShowsTheTipCutTo63Bytes) {
    const struct {
        const char* name;
        std::string tip;
        std::wstring shown;
    } cases[] = {
        {"short", "IIS Tolvane", L"IIS Tolvane"},
        {"one-byte characters", std::string(70, 'x'), std::wstring(63, L'x')},
        {"two-byte characters", Sjis("監視中の IIS Tolvane ") + std::string(60, 'y'),
         L"\u76e3\u8996\u4e2d\u306e IIS Tolvane " + std::wstring(63 - 21, L'y')},
        {"a two-byte character across the bound", std::string(62, 'z') + Sjis("あ"),
         std::wstring(62, L'z')},
        {"none", "", L""},
    };
    HWND owner =
        CreateWindowW(L"STATIC", L"owner", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TrayIcon icon;
        HICON image = static_cast<HICON>(
            LoadImageW(nullptr, MAKEINTRESOURCEW(32512), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
        ASSERT_NE(image, nullptr);
        EXPECT_TRUE(icon.Add(owner, MonitorDialog::kTrayMessage, image, c.tip));
        ICONINFO info{};
        EXPECT_FALSE(GetIconInfo(image, &info)) << "the handle given to the shell is destroyed";
        const auto icons = ShellIconsWhen(1);
        ASSERT_EQ(icons.size(), 1u);
        EXPECT_EQ(icons[0].tip, c.shown);
        icon.Remove();
        EXPECT_EQ(ShellIconsWhen(0).size(), 0u);
    }
    DestroyWindow(owner);
}

// The right button on the shell's icon opens menu 130 at the cursor with "表示(&D)" as its
// default item; what is chosen there arrives as the window's command.
TEST_F(Win32WindowTest, TheRightButtonOpensTheTrayMenuAndItsChoiceIsCarriedOut) {
    const struct {
        const char* name;
        wchar_t key;  // the item's access key; none: the menu is closed without a choice
        bool windowShown;
        bool aboutOpens;
    } cases[] = {
        {"show", L'd', true, false},
        {"About", L'a', false, true},
        {"a click elsewhere", 0, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HWND window = Open();
        const auto icons = ShellIconsWhen(1);
        ASSERT_EQ(icons.size(), 1u);
        ShowWindow(window, SW_HIDE);

        struct Item {
            UINT id;
            UINT type;
            std::wstring text;
        };
        std::vector<Item> items;
        UINT defaultItem = 0;
        POINT menuAt{}, cursor{};
        bool menuSeen = false, aboutSeen = false;
        Ticker ticker([&] {
            if (!menuSeen) {
                HWND popup = FindThreadWindow(L"#32768");
                if (popup == nullptr) {
                    return;
                }
                menuSeen = true;
                auto menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
                for (int i = 0; i < GetMenuItemCount(menu); ++i) {
                    wchar_t text[64] = {};
                    MENUITEMINFOW info{};
                    info.cbSize = sizeof info;
                    info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
                    info.dwTypeData = text;
                    info.cch = 64;
                    GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
                    items.push_back({info.wID, info.fType, text});
                }
                defaultItem = GetMenuDefaultItem(menu, FALSE, 0);
                RECT rect;
                GetWindowRect(popup, &rect);
                menuAt = {rect.left, rect.top};
                GetCursorPos(&cursor);
                if (c.key != 0) {
                    PostMessageW(popup, WM_CHAR, c.key, 0);
                } else {
                    EndMenu();
                }
                return;
            }
            HWND about = FindThreadWindow(L"#32770", window);
            if (about != nullptr && !aboutSeen) {
                aboutSeen = TextCp932(about) == "About IIS Tolvane";
                SendMessageW(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            }
        });
        PostMessageW(icons[0].window, WM_RBUTTONUP, 0, MAKELPARAM(4, 4));
        // The menu has ended and its command, if any, has been handled.
        ASSERT_TRUE(PumpUntil([&] {
            return menuSeen && FindThreadWindow(L"#32768") == nullptr &&
                   (!c.aboutOpens || aboutSeen);
        }));

        ASSERT_EQ(items.size(), 3u);
        EXPECT_EQ(items[0].id, static_cast<UINT>(ShowCommand));
        EXPECT_EQ(items[0].text, L"\u8868\u793a(&D)");
        EXPECT_EQ(items[1].type & MFT_SEPARATOR, static_cast<UINT>(MFT_SEPARATOR));
        EXPECT_EQ(items[2].id, static_cast<UINT>(AboutCommand));
        EXPECT_EQ(items[2].text, L"&About IISTolvane...");
        EXPECT_EQ(defaultItem, static_cast<UINT>(ShowCommand));
        EXPECT_EQ(menuAt.x, cursor.x);
        EXPECT_EQ(menuAt.y, cursor.y);
        EXPECT_EQ(IsWindowVisible(window) != 0, c.windowShown);
        EXPECT_EQ(aboutSeen, c.aboutOpens);
        dialog.reset();
    }
}

}  // namespace
}  // namespace tolvane
