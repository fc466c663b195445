#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "os/CodePage.h"
#include "registry/Registry.h"
#include "tests/support/TestSupport.h"
#include "ui/model/CommandId.h"
#include "ui/model/MainWindowModel.h"

namespace tolvane {
namespace {

// A window that records what the model asks of it; its controls hold what it is told.
class RecordingView final : public MainWindowView {
public:
    void SetStatusLine(const std::string& cp932) override {
        Step("status");
        status = cp932;
    }
    void SetChecked(int id, bool checked) override {
        Step("set " + std::to_string(id));
        checks[id] = checked;
    }
    bool Checked(int id) const override {
        steps.push_back("read " + std::to_string(id));
        return checks.at(id);
    }
    void SetNumber(int id, std::uint32_t value) override {
        Step("set " + std::to_string(id));
        numbers[id] = value;
    }
    bool ReadNumber(int id, const NumberRule&, std::uint32_t& value) override {
        Step("read " + std::to_string(id));
        value = numbers.at(id);
        return id != refusedField;
    }
    void EnableControl(int, bool) override {}
    void ShowSaveButton(bool shown) override { Step(shown ? "save shown" : "save hidden"); }
    void CheckMenuItem(int, bool) override {}
    void EnableMenuItem(int, bool) override {}
    void EnableWindowMenuItem(int, bool) override {}
    void SetWindowIcons() override { Step("icons"); }
    void AddTrayIcon() override { Step("tray"); }
    void DrawNow() override { Step("draw"); }
    void Repaint() override {}
    void FocusDialog() override { Step("focus"); }
    bool ModalOpen() const override { return modalOpen; }
    void HideWindow() override { Step("hide"); }
    void ShowWindow() override { Step("show"); }
    void OpenAbout() override { Step("about"); }
    void OpenMailSettings() override { Step("mail settings"); }
    void Close() override { Step("close"); }
    void Beep() override { Step("beep"); }
    void ArmTimer(int id, std::uint32_t) override { Step("arm " + std::to_string(id)); }
    void KillTimer(int) override {}
    void Message(bool, const std::string&, const std::string&) override { Step("message"); }

    void Step(const std::string& step) { steps.push_back(step); }

    mutable std::vector<std::string> steps;
    std::map<int, bool> checks;
    std::map<int, std::uint32_t> numbers;
    int refusedField = 0;
    std::string status;
    bool modalOpen = false;
};

class MainWindowModelTest : public ::testing::Test {
protected:
    test::TempDir dir;
    RegistryHive hive{dir.File("HKEY_CLASSES_ROOT.reg")};
    RecordingView view;
    MainWindowModel model{hive, CycleParts{}, view};
};

// The values go to the controls in the window's order before the store is read, and the
// automatic start is armed last, once the tray icon is there.
TEST_F(MainWindowModelTest, OpeningRunsItsStepsInOrder) {
    ASSERT_EQ(SettingsStore(hive).SaveStartupMode(1), 1);
    model.Open();
    const std::vector<std::string> exchange{"status",   "set 1006", "set 1007", "set 1003",
                                            "set 1009", "set 1004", "set 1010"};
    std::vector<std::string> expected = exchange;
    expected.push_back("icons");
    expected.insert(expected.end(), exchange.begin(), exchange.end());
    for (const char* step : {"draw", "focus", "tray", "arm 3"}) {
        expected.push_back(step);
    }
    EXPECT_EQ(view.steps, expected);
}

// What the load met is said once, in place of "準備OK": the values it could not read, by name,
// and why the settings cannot be saved.
TEST_F(MainWindowModelTest, OpeningNamesUnreadableValuesAndWhyNothingCanBeSaved) {
    test::WriteFile(dir.File("HKEY_CLASSES_ROOT.reg"),
                    "REGEDIT4\n\n[Zr.ClassDlg.1\\Setting]\n\"Port\"=\"80\"\n"
                    "\"SmtpPort\"=hex(b):19,00,00,00,00,00,00,00\n");
    model.Open();
    EXPECT_EQ(view.status, Sjis("読めない設定値があります (既定値を使います): Port, SmtpPort"));
    model.Open();
    EXPECT_EQ(view.status, Sjis("読めない設定値があります (既定値を使います): Port, SmtpPort"))
        << "they are left as they are";

    LoadReport report;
    report.notSaved = "cannot write HKEY_CLASSES_ROOT\\Zr.ClassDlg.1\\Setting: access denied";
    report.denied = true;
    EXPECT_EQ(LoadNote(report), Sjis("設定を保存できません: 管理者として実行してください"));
    report.denied = false;
    report.notSaved = "cannot write /srv/x.reg: No space left on device";
    report.unreadable.push_back(UnreadableValue{"Port", RegNumber, {}});
    EXPECT_EQ(LoadNote(report),
              Sjis("読めない設定値があります (既定値を使います): Port　設定を保存で"
                   "きません: cannot write /srv/x.reg: No space left on device"));
    EXPECT_EQ(LoadNote(LoadReport{}), "");
}

// A refused number stops the reading: the fields after it are not read. The change
// notifications of the window's own exchange never show the Save button.
TEST_F(MainWindowModelTest, ReadingStopsAtTheRefusedFieldAndTheExchangeIsNoEdit) {
    model.Open();
    struct Case {
        int refused;
        std::vector<std::string> steps;
    };
    const Case cases[] = {
        {0, {"read 1006", "read 1007", "read 1003", "read 1009", "read 1004", "read 1010"}},
        {PortField, {"read 1006", "read 1007", "read 1003"}},
        {IntervalField, {"read 1006", "read 1007", "read 1003", "read 1009", "read 1004"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refused);
        view.refusedField = c.refused;
        view.steps.clear();
        EXPECT_EQ(model.ReadControls(), c.refused == 0);
        EXPECT_EQ(view.steps, c.steps);
    }
    view.steps.clear();
    model.ControlEdited();
    EXPECT_EQ(view.steps, std::vector<std::string>{"save shown"});
}

// Exit closes the window only while the monitor is stopped; a disabled Exit beeps only when
// the dialog manager sent it (Esc, the close box), never for a menu item or a button.
// Under a modal dialog or a menu the automatic start only tries again a moment later: no
// test, no Start, nothing shown.
TEST_F(MainWindowModelTest, TheAutomaticStartWaitsWhileADialogOrMenuIsOpen) {
    view.modalOpen = true;
    view.steps.clear();
    model.OnTimer(AutoStartTimer);
    EXPECT_EQ(view.steps, std::vector<std::string>{"arm 3"});
    EXPECT_EQ(model.Cycle().State(), CycleState::Stopped);
}

TEST_F(MainWindowModelTest, ExitClosesOrBeepsByStateAndSource) {
    model.Open();
    struct Case {
        bool running;
        CommandSource source;
        const char* step;  // null: nothing
    };
    const Case cases[] = {
        {false, CommandSource::Control, "close"},
        {false, CommandSource::DialogManager, "close"},
        {true, CommandSource::Control, nullptr},
        {true, CommandSource::DialogManager, "beep"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.running) + " " + std::to_string(static_cast<int>(c.source)));
        model.Cycle().Open();
        if (c.running) {
            model.Command(StartCommand);
        }
        view.steps.clear();
        model.Command(ExitCommand, c.source);
        EXPECT_EQ(view.steps, c.step == nullptr ? std::vector<std::string>{}
                                                : std::vector<std::string>{c.step});
    }
}

}  // namespace
}  // namespace tolvane
