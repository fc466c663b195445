#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "registry/Registry.h"
#include "ui/win32/MonitorDialog.h"
#include "ui/win32/ServingClock.h"

namespace tolvane::test {

// Handles the messages of this thread as a dialog's loop does until `condition` holds (or a
// generous bound passes).
bool PumpUntil(const std::function<bool()>& condition, DWORD limitMs = 60000);

void Click(HWND dialog, int id);

// A control's rectangle in dialog units, as the template gives it.
struct Placement {
    int x, y, width, height;
};
// Every control of a template, in its order, against its place in dialog units (read back
// with GetWindowRect and MapDialogRect).
void ExpectPlacements(HWND dialog, std::span<const Placement> placements);
// Every control of a template (a DIALOGEX resource of this program), in its order, against its
// style: the tab stop and group bits, the vertical scroll bar, and the bits of its kind (button
// type, edit and static styles). Read from the template itself: at run time a radio button
// gains or loses its tab stop as it is checked.
void ExpectTemplateStyles(int templateId, std::span<const DWORD> styles);
// The client area against the template's size in dialog units.
void ExpectClientSize(HWND dialog, int width, int height);

// Calls `tick` every 50 ms from this thread's message loops, modal ones (dialogs, menus)
// included, for as long as it lives. Tickers nest: one started from a tick (a dialog opened
// from a dialog) takes the ticks until it ends.
class Ticker {
public:
    explicit Ticker(std::function<void()> tick);
    ~Ticker();
    Ticker(const Ticker&) = delete;
    Ticker& operator=(const Ticker&) = delete;

private:
    std::function<void()> previous_;
    UINT_PTR timer_;
};

// The first visible window of this thread with the class name, or owned by `owner` when one
// is given; null when there is none.
HWND FindThreadWindow(const wchar_t* className, HWND owner = nullptr);

// Runs `inside` with the window that `open` brings up modally (a visible window owned by
// `owner`), from a timer of the modal loop.
void WhileModal(HWND owner, const std::function<void()>& open,
                const std::function<void(HWND)>& inside);

struct RecordedBox {
    std::string text;
    std::string caption;
    unsigned flags;
};

// The main window opened from its template in this process, over the real registry (the
// settings key removed first), the real mail dispatch, and every message box answered with
// OK and recorded.
class Win32WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    HWND Open();

    bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(dialog->Window(), id)) != 0; }
    std::string TextOf(int id) const;
    void Type(int id, const char* text) { SetDlgItemTextA(dialog->Window(), id, text); }

    RegistryHive hive{RegistryHive::ClassesRootPath()};
    ServingClock clock;  // the window's, the mail's waits included, as the program has it
    std::unique_ptr<MonitorDialog> dialog;
    std::vector<RecordedBox> boxes;
    // Called with each box as it is asked for, before it is answered.
    std::function<void(const RecordedBox&)> onBox;
    // Given to the window before it opens, when set.
    MonitorDialog::StartNote startNote;
};

}  // namespace tolvane::test
