// The main window with a real settings file, a real loopback listener and the real cycle;
// only the cycle's pauses are cut short, so each pause shows the window as the user sees it.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest/QTest>
#include <filesystem>
#include <map>
#include <memory>

#include "monitor/MonitorTexts.h"
#include "os/CodePage.h"
#include "settings/SettingsStore.h"
#include "tests/support/NumberCases.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/qt/AboutDialog.h"
#include "ui/qt/MailSettingsDialog.h"
#include "ui/qt/MonitorDialog.h"
#include "ui/qt/TrayIcon.h"
#include "ui/qt/UiTexts.h"

namespace tolvane {
namespace {

using test::LoopbackOnlyListener;
using test::MessageBoxCloser;
using test::MessageRecorder;
using test::PaintCounter;
using test::PausingClock;
using test::ReadFile;
using test::TempDir;
using test::U;
using test::WaitUntil;
using test::WhenModalOpens;

class MonitorDialogTest : public ::testing::Test {
protected:
    CycleParts Parts() {
        CycleParts parts;
        parts.clock = &clock;
        parts.log = &log;
        parts.computerName = [] { return std::string("127.0.0.1"); };
        parts.runCommand = [this](const std::string& line, RepaintTarget*) {
            commands.push_back(line);
            return CommandOutcome::ExitedWith(0);
        };
        parts.sendMail = [](const std::string&, const std::string&, const std::string&,
                            const std::string&, const std::string&, std::uint32_t,
                            const MailSecurity&,
                            std::string&) { return 1; };
        return parts;
    }

    std::unique_ptr<MonitorDialog> Open() {
        auto dialog = std::make_unique<MonitorDialog>(hive, Parts());
        dialog->show();
        dialog->activateWindow();
        // Focus moves only inside the active window; offscreen that takes an event or two.
        WaitUntil([&] { return dialog->isActiveWindow(); }, 5000);
        return dialog;
    }

    Settings Stored() {
        Settings settings;
        SettingsStore(hive).LoadSettings(settings);
        return settings;
    }

    void Store(const std::function<void(Settings&)>& change) {
        Settings settings = Stored();
        change(settings);
        SettingsStore(hive).SaveSettings(settings);
    }

    static QLineEdit* Field(MonitorDialog& dialog, int id) {
        return qobject_cast<QLineEdit*>(dialog.Control(id));
    }
    static QCheckBox* Check(MonitorDialog& dialog, int id) {
        return qobject_cast<QCheckBox*>(dialog.Control(id));
    }

    // Replaces the field's text by typing, as a user does.
    static void Type(QLineEdit* field, const QString& text) {
        field->setFocus(Qt::TabFocusReason);
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    }

    TempDir dir;
    RegistryHive hive{dir.File("HKEY_CLASSES_ROOT.reg")};
    PausingClock clock;
    RestartLog log{clock, dir.Path() + "/"};
    std::vector<std::string> commands;
};

TEST_F(MonitorDialogTest, FreshStartShowsTheDefaultsReadyAndNoSaveButton) {
    auto dialog = Open();
    EXPECT_EQ(Field(*dialog, 1004)->text(), "60");
    EXPECT_EQ(Field(*dialog, 1003)->text(), "80");
    EXPECT_TRUE(Check(*dialog, 1006)->isChecked());
    EXPECT_TRUE(Check(*dialog, 1007)->isChecked());
    EXPECT_FALSE(Check(*dialog, 1010)->isChecked());
    EXPECT_FALSE(Check(*dialog, 1009)->isChecked());
    EXPECT_TRUE(dialog->MenuItem(32776)->isChecked());
    EXPECT_FALSE(dialog->MenuItem(32775)->isChecked());
    EXPECT_EQ(qobject_cast<QLabel*>(dialog->Control(1000))->text(), U("準備OK"));
    EXPECT_TRUE(dialog->Control(1016)->isHidden());
    EXPECT_EQ(dialog->windowTitle(), "IIS Tolvane");
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize()) << "the window must not be resizable";
    EXPECT_FALSE(dialog->TimerArmed(AutoStartTimer));
    EXPECT_FALSE(dialog->TimerArmed(CheckTimer));
    EXPECT_TRUE(commands.empty());
}

TEST_F(MonitorDialogTest, ControlsAndMenusCarryTheirTextsByteForByte) {
    auto dialog = Open();
    const std::map<int, const char*> controls = {
        {1001, "接続テスト(&C)"},
        {1006, "IIS 再起動時に F&TP サービスを開始する"},
        {1007, "IIS 再起動時に S&MTP サービスを開始する"},
        {1010, "IIS 再起動時に N&NTP サービスを開始する"},
        {1009, "IIS 再起動時に MS&DTC を開始する"},
        {1, "開始(&R)"},
        {1002, "停止(&O)"},
        {1016, "保存(&S)"},
        {3, "隠す(&H)"},
        {2, "終了(&X)"},
    };
    for (const auto& [id, text] : controls) {
        auto* button = qobject_cast<QAbstractButton*>(dialog->Control(id));
        ASSERT_NE(button, nullptr) << id;
        EXPECT_EQ(FromQString(button->text()), Sjis(text)) << id;
    }
    const std::map<int, const char*> items = {
        {32774, "メール設定(&S)..."}, {32776, "ﾏﾆｭｱﾙ(&M)"}, {32775, "ｵｰﾄ(&A)"}, {2, "終了(&E)"},
        {16, "&About IISTolvane..."},
    };
    for (const auto& [id, text] : items) {
        EXPECT_EQ(FromQString(dialog->MenuItem(id)->text()), Sjis(text)) << id;
    }
    const QList<QAction*> menus = dialog->MenuBar().actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(FromQString(menus[0]->text()), Sjis("ﾌｧｲﾙ(&F)"));
    EXPECT_EQ(FromQString(menus[1]->text()), Sjis("ﾍﾙﾌﾟ(&H)"));
    EXPECT_EQ(FromQString(dialog->WindowMenuItem(48)->text()), Sjis("ｳｲﾝﾄﾞｰを隠す(&H)"));
    EXPECT_EQ(FromQString(dialog->WindowMenuItem(16)->text()), Sjis("&About IISTolvane..."));
    auto* hide = qobject_cast<QPushButton*>(dialog->Control(3));
    EXPECT_TRUE(hide->isDefault());
}

// Which controls the enabling rules leave enabled, and which menu items a menu shows greyed,
// in each state of the monitor, reached by the real commands against a real listener.
TEST_F(MonitorDialogTest, EnablingRulesFollowTheMonitorState) {
    struct Expected {
        const char* state;
        bool settable;       // 1, 2, 1001, 1016, the edits and check boxes
        bool waiting;        // 1002 Stop, 3 Hide
        bool menusChecked;   // whether a menu can open in this state at all
        bool menuBarGreyed;  // 32774, 2, 32776, 32775
    };
    const Expected table[] = {
        {"stopped", true, false, true, false},   {"test running", false, false, false, false},
        {"starting", false, false, true, false}, {"checking", false, false, false, false},
        {"waiting", false, true, true, true},    {"stopped again", true, false, true, false},
    };
    const int settableIds[] = {1, 2, 1001, 1016, 1003, 1004, 1006, 1007, 1009, 1010};
    const int waitingIds[] = {1002, 3};
    const int greyedIds[] = {32774, 2, 32776, 32775};

    struct Snapshot {
        std::map<int, bool> enabled;
        std::map<int, bool> menuEnabled;
        bool hideItemEnabled = false;
    };
    std::map<std::string, Snapshot> seen;

    LoopbackOnlyListener listener;
    auto dialog = Open();
    Type(Field(*dialog, 1003), QString::number(listener.Port()));

    auto take = [&](const char* state, bool openMenus) {
        Snapshot snapshot;
        for (int id : settableIds) {
            snapshot.enabled[id] = dialog->Control(id)->isEnabled();
        }
        for (int id : waitingIds) {
            snapshot.enabled[id] = dialog->Control(id)->isEnabled();
        }
        if (openMenus) {
            QMenu* file = dialog->MenuBar().actions()[0]->menu();
            file->popup(QPoint(0, 0));
            file->hide();
            for (int id : greyedIds) {
                snapshot.menuEnabled[id] = dialog->MenuItem(id)->isEnabled();
            }
            dialog->WindowMenu().popup(QPoint(0, 0));
            dialog->WindowMenu().hide();
            snapshot.hideItemEnabled = dialog->WindowMenuItem(48)->isEnabled();
        }
        seen[state] = snapshot;
    };

    take("stopped", true);
    clock.onPause = [&](std::uint32_t) {
        if (!seen.count("test running")) {
            take("test running", false);
        }
    };
    dialog->Command(1001);
    EXPECT_EQ(dialog->Cycle().StatusText, texts::TestSucceeded());

    clock.onPause = [&](std::uint32_t) {
        if (!seen.count("checking")) {
            take("checking", false);
        }
    };
    dialog->Command(1);
    take("starting", true);
    {
        // Exit is refused while the monitor runs: from the menu silently, by Esc with a beep.
        MessageRecorder messages;
        bool finished = false;
        QObject::connect(dialog.get(), &QDialog::finished, [&] { finished = true; });
        dialog->MenuItem(2)->trigger();
        QTest::keyClick(dialog.get(), Qt::Key_Escape);
        dialog->close();
        EXPECT_FALSE(finished);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(messages.beeps.size(), 2u);
    }
    ASSERT_TRUE(WaitUntil([&] { return dialog->Cycle().CycleBusy() == 0; }))
        << "waited for the check to end";
    take("waiting", true);
    dialog->Command(1002);
    take("stopped again", true);

    for (const Expected& row : table) {
        SCOPED_TRACE(row.state);
        ASSERT_TRUE(seen.count(row.state));
        const Snapshot& snapshot = seen[row.state];
        for (int id : settableIds) {
            EXPECT_EQ(snapshot.enabled.at(id), row.settable) << "control " << id;
        }
        for (int id : waitingIds) {
            EXPECT_EQ(snapshot.enabled.at(id), row.waiting) << "control " << id;
        }
        if (row.menusChecked) {
            for (int id : greyedIds) {
                EXPECT_EQ(snapshot.menuEnabled.at(id), !row.menuBarGreyed) << "menu item " << id;
            }
            EXPECT_EQ(snapshot.hideItemEnabled, row.waiting) << "window menu item 48";
        }
    }
    EXPECT_TRUE(commands.empty()) << "the listener answered; nothing may be restarted";
}

TEST_F(MonitorDialogTest, StartAgainstALoopbackOnlyListenerShowsEachStepAndEndsWithOk) {
    LoopbackOnlyListener listener;
    Store([&](Settings& s) { s.Port = listener.Port(); });
    auto dialog = Open();
    auto* status = qobject_cast<QLabel*>(dialog->Control(1000));
    PaintCounter paints(status);

    struct Seen {
        QString text;
        bool paintedSinceLastPause;
        bool stopEnabled;
        bool hideEnabled;
    };
    std::vector<Seen> pauses;
    int paintsAtLastPause = paints.count;
    clock.onPause = [&](std::uint32_t) {
        pauses.push_back({status->text(), paints.count > paintsAtLastPause,
                          dialog->Control(1002)->isEnabled(), dialog->Control(3)->isEnabled()});
        paintsAtLastPause = paints.count;
    };

    dialog->Command(1);
    EXPECT_FALSE(dialog->Control(1002)->isEnabled());
    EXPECT_FALSE(dialog->Control(3)->isEnabled());
    EXPECT_TRUE(dialog->TimerArmed(CheckTimer));
    ASSERT_TRUE(WaitUntil([&] { return dialog->Cycle().CycleBusy() == 0; }))
        << "waited for the check to end";

    ASSERT_EQ(pauses.size(), 3u);
    EXPECT_EQ(pauses[0].text, U("確認中 ..."));
    EXPECT_EQ(pauses[1].text, U("確認 "));
    const QRegularExpression stamped(U("^確認  \\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
    EXPECT_TRUE(stamped.match(pauses[2].text).hasMatch()) << pauses[2].text.toStdString();
    for (const Seen& pause : pauses) {
        EXPECT_TRUE(pause.paintedSinceLastPause)
            << "not drawn before the pause: " << pause.text.toStdString();
        EXPECT_FALSE(pause.stopEnabled);
        EXPECT_FALSE(pause.hideEnabled);
    }
    EXPECT_EQ(status->text(), pauses[2].text + "  OK");
    EXPECT_TRUE(dialog->Control(1002)->isEnabled());
    EXPECT_TRUE(dialog->Control(3)->isEnabled());
    EXPECT_TRUE(dialog->TimerArmed(CheckTimer)) << "the next tick must be armed";
    EXPECT_GE(listener.Accept(5000), 0) << "the tick must have connected to the listener";
    EXPECT_TRUE(commands.empty());

    // Hide now works; the tray's show brings the window back.
    dialog->Command(3);
    EXPECT_FALSE(dialog->isVisible());
    dialog->Tray().OnActivated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(dialog->isVisible()) << "a single click does nothing";
    dialog->Tray().OnActivated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(MonitorDialogTest, TypingShowsSaveAndSaveStoresTheRecordAndHidesIt) {
    auto dialog = Open();
    MessageRecorder messages;
    QWidget* save = dialog->Control(1016);

    Type(Field(*dialog, 1003), "8080");
    EXPECT_TRUE(save->isVisible());
    QTest::mouseClick(Check(*dialog, 1010), Qt::LeftButton);
    EXPECT_TRUE(Check(*dialog, 1010)->isChecked());

    QTest::mouseClick(save, Qt::LeftButton);
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, U("設定を保存しました。"));
    EXPECT_EQ(messages.boxes[0].caption, "IIS Tolvane");
    EXPECT_EQ(messages.boxes[0].icon, MessageBox::Icon::Information);
    EXPECT_FALSE(save->isVisible());
    const Settings stored = Stored();
    EXPECT_EQ(stored.Port, 8080u);
    EXPECT_EQ(stored.CheckNntpSvc, 1u);
    EXPECT_EQ(stored.Interval, 60u);

    // The window's own writing into the fields (here: showing the status) is no change.
    dialog->ShowStatus();
    EXPECT_FALSE(save->isVisible());
}

// A change stored beside the window (tolvanectl set) between its start and its Save: the
// Save writes the window's six values and keeps the others as they are stored.
TEST_F(MonitorDialogTest, SaveKeepsTheMailAndStartupValuesStoredBesideIt) {
    auto dialog = Open();
    MessageRecorder messages;
    Store([](Settings& s) {
        s.WithMail = 1;
        s.From = "admin@example.jp";
        s.To = "ops@example.jp";
        s.AutoStartupMode = 1;
    });
    Type(Field(*dialog, 1004), "120");
    QTest::mouseClick(dialog->Control(1016), Qt::LeftButton);
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, U("設定を保存しました。"));

    const Settings stored = Stored();
    EXPECT_EQ(stored.Interval, 120u);
    EXPECT_EQ(stored.WithMail, 1u);
    EXPECT_EQ(stored.From, "admin@example.jp");
    EXPECT_EQ(stored.To, "ops@example.jp");
    EXPECT_EQ(stored.AutoStartupMode, 1u);
    // The record follows what was stored: the next restart mails with these values.
    EXPECT_EQ(dialog->Record().WithMail, 1u);
    EXPECT_EQ(dialog->Record().To, "ops@example.jp");
    EXPECT_TRUE(dialog->MenuItem(32775)->isChecked());
}

TEST_F(MonitorDialogTest, AFailedSaveSaysSoAndKeepsTheSaveButton) {
    auto dialog = Open();
    MessageRecorder messages;
    // The store's place is taken by a folder: it can be neither read nor written.
    std::filesystem::remove(hive.Path());
    std::filesystem::create_directory(hive.Path());
    Type(Field(*dialog, 1004), "120");
    QTest::mouseClick(dialog->Control(1016), Qt::LeftButton);
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].icon, MessageBox::Icon::Exclamation);
    const QString& text = messages.boxes[0].text;
    EXPECT_TRUE(text.startsWith(U("設定を保存できませんでした。") + "\n")) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromStdString(hive.Path()))) << text.toStdString();
    EXPECT_TRUE(dialog->Control(1016)->isVisible());
    EXPECT_TRUE(std::filesystem::is_directory(hive.Path()));
}

// A refused reading: the message, the focus back on the field with its text selected, nothing
// stored, Save still shown; by Save and by leaving the field.
TEST_F(MonitorDialogTest, RefusedReadingsShowTheirMessageAndKeepTheField) {
    struct Case {
        int field;
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {1004, "0", "Please enter an integer between 1 and 99999."},
        {1003, "70000", "Please enter an integer between 0 and 65535."},
        {1004, "", "Please enter a positive integer."},
        {1003, "", "Please enter a positive integer."},
        {1004, "99999999999", "Please enter an integer between 1 and 99999."},
    };
    for (const Case& c : cases) {
        for (bool byLeaving : {false, true}) {
            SCOPED_TRACE(std::string(c.text) + (byLeaving ? " (leaving the field)" : " (Save)") +
                         " in " + std::to_string(c.field));
            auto dialog = Open();
            const std::string before = ReadFile(hive.Path());
            MessageRecorder messages;
            QLineEdit* field = Field(*dialog, c.field);
            Type(field, c.text);
            if (byLeaving) {
                Check(*dialog, 1006)->setFocus(Qt::TabFocusReason);
                ASSERT_TRUE(WaitUntil([&] { return !messages.boxes.empty(); }))
                    << "waited for the refusal's message box";
            } else {
                dialog->Command(1016);
            }
            ASSERT_EQ(messages.boxes.size(), 1u);
            EXPECT_EQ(messages.boxes[0].text, c.message);
            EXPECT_EQ(messages.boxes[0].caption, ApplicationName());
            EXPECT_EQ(messages.boxes[0].icon, MessageBox::Icon::Exclamation);
            EXPECT_EQ(dialog->focusWidget(), field);
            EXPECT_EQ(field->selectedText(), field->text());
            EXPECT_EQ(field->text(), c.text);
            EXPECT_TRUE(dialog->Control(1016)->isVisible());
            EXPECT_EQ(ReadFile(hive.Path()), before) << "nothing may be stored";
            QApplication::processEvents();
            EXPECT_EQ(messages.boxes.size(), 1u) << "the focus coming back must not ask again";
        }
    }
}

TEST_F(MonitorDialogTest, StartWithARefusedIntervalAsksOnceAndStaysStopped) {
    LoopbackOnlyListener listener;
    struct Case {
        const char* name;
        bool typed;  // else stored
    };
    const Case cases[] = {{"typed", true}, {"stored", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Store([&](Settings& s) {
            s.Port = listener.Port();
            s.Interval = c.typed ? 60 : 0;
        });
        auto dialog = Open();
        QLineEdit* interval = Field(*dialog, 1004);
        if (c.typed) {
            Type(interval, "0");
        }
        MessageRecorder messages;
        QTest::keyClick(dialog->focusWidget(), Qt::Key_R, Qt::AltModifier);  // 開始(&R)
        ASSERT_TRUE(WaitUntil([&] { return !messages.boxes.empty(); }))
            << "waited for the refusal's message box";
        // Several ticks' worth of time: a refused Start must not come back by itself.
        QElapsedTimer waited;
        waited.start();
        WaitUntil([&] { return waited.elapsed() > 3500; });
        ASSERT_EQ(messages.boxes.size(), 1u);
        EXPECT_EQ(messages.boxes[0].text, "Please enter an integer between 1 and 99999.");
        EXPECT_EQ(dialog->Cycle().Stopped(), 1u);
        EXPECT_FALSE(dialog->TimerArmed(CheckTimer));
        EXPECT_EQ(dialog->focusWidget(), interval);
        EXPECT_EQ(interval->selectedText(), "0");
        EXPECT_TRUE(dialog->Control(2)->isEnabled()) << "Exit stays possible";
        EXPECT_EQ(dialog->Cycle().StatusText, Text(UiText::Ready));
    }
}

// Whichever way the reading is set off, once the real message box has closed the refused field
// has the focus with its whole text selected, so typing replaces it.
TEST_F(MonitorDialogTest, AfterEachRefusalTheFieldHasTheFocusWithItsWholeTextSelected) {
    using Leave = std::function<void(MonitorDialog&, QLineEdit*)>;
    const std::pair<const char*, Leave> paths[] = {
        {"Tab", [](MonitorDialog&, QLineEdit* field) { QTest::keyClick(field, Qt::Key_Tab); }},
        {"Shift+Tab",
         [](MonitorDialog&, QLineEdit* field) { QTest::keyClick(field, Qt::Key_Backtab); }},
        {"click on a check box",
         [](MonitorDialog& d, QLineEdit*) { QTest::mouseClick(d.Control(1006), Qt::LeftButton); }},
        {"Alt+T to a check box",
         [](MonitorDialog&, QLineEdit* field) {
             QTest::keyClick(field, Qt::Key_T, Qt::AltModifier);
         }},
        {"Alt+R, Start",
         [](MonitorDialog&, QLineEdit* field) {
             QTest::keyClick(field, Qt::Key_R, Qt::AltModifier);
         }},
        {"Alt+S, Save",
         [](MonitorDialog&, QLineEdit* field) {
             QTest::keyClick(field, Qt::Key_S, Qt::AltModifier);
         }},
        {"click on Save",
         [](MonitorDialog& d, QLineEdit*) { QTest::mouseClick(d.Control(1016), Qt::LeftButton); }},
        {"click on the connection test",
         [](MonitorDialog& d, QLineEdit*) { QTest::mouseClick(d.Control(1001), Qt::LeftButton); }},
    };
    const std::pair<int, const char*> refusals[] = {{1004, "0"}, {1003, "70000"}};
    for (const auto& [path, leave] : paths) {
        for (const auto& [id, text] : refusals) {
            SCOPED_TRACE(std::string(path) + ", " + text + " in " + std::to_string(id));
            auto dialog = Open();
            QLineEdit* field = Field(*dialog, id);
            Type(field, text);
            MessageBoxCloser boxes;
            leave(*dialog, field);
            ASSERT_TRUE(WaitUntil([&] { return !boxes.texts.empty(); }))
                << "waited for the refusal's message box";
            ASSERT_TRUE(WaitUntil([] { return QApplication::activeModalWidget() == nullptr; }))
                << "waited for the message box to close";
            // A window manager gives the activation back some time after the box has gone.
            dialog->activateWindow();
            ASSERT_TRUE(WaitUntil([&] { return dialog->isActiveWindow(); }, 5000))
                << "waited for the window to be active again";
            QApplication::processEvents();
            EXPECT_EQ(boxes.texts.size(), 1u);
            EXPECT_TRUE(field->hasFocus());
            EXPECT_EQ(field->selectedText(), text);
            QTest::keyClicks(field, "7");
            EXPECT_EQ(field->text(), "7");
            EXPECT_EQ(dialog->Cycle().Stopped(), 1u);
        }
    }
}

// As a Windows dialog gives the focus: the first field with its text selected when the window
// opens and after Stop or a test, the default button Hide after a tick, never the window
// itself; Return after a tick hides the window and never presses Stop.
TEST_F(MonitorDialogTest, FocusGoesWhereReturnPressesTheDefaultButtonNeverToTheWindow) {
    LoopbackOnlyListener listener;
    Store([&](Settings& s) { s.Port = listener.Port(); });
    auto dialog = Open();
    QLineEdit* interval = Field(*dialog, 1004);
    EXPECT_EQ(dialog->focusWidget(), interval) << "opened";
    EXPECT_EQ(interval->selectedText(), "60");
    QTest::keyClicks(interval, "5");
    EXPECT_EQ(interval->text(), "5") << "typing replaces the selected text";
    Type(interval, "60");

    QTest::mouseClick(dialog->Control(1001), Qt::LeftButton);
    EXPECT_EQ(dialog->Cycle().StatusText, texts::TestSucceeded());
    EXPECT_EQ(dialog->focusWidget(), interval) << "after a test";
    EXPECT_EQ(interval->selectedText(), "60");

    QTest::mouseClick(dialog->Control(1), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return dialog->Cycle().CycleBusy() == 0; }))
        << "waited for the check to end";
    EXPECT_EQ(dialog->focusWidget(), dialog->Control(3)) << "after a tick: Hide, not Stop";
    QTest::mouseClick(dialog->Control(1002), Qt::LeftButton);
    EXPECT_EQ(dialog->Cycle().Stopped(), 1u);
    EXPECT_FALSE(dialog->TimerArmed(CheckTimer));
    EXPECT_EQ(dialog->focusWidget(), interval) << "after Stop";
    EXPECT_EQ(interval->selectedText(), "60");
    EXPECT_TRUE(interval->hasFocus());

    QTest::mouseClick(dialog->Control(1), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return dialog->Cycle().CycleBusy() == 0; }))
        << "waited for the check to end";
    // Return presses the default button, Hide: the monitor goes on.
    QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->Cycle().Stopped(), 0u) << "Return pressed Stop";
    EXPECT_TRUE(dialog->TimerArmed(CheckTimer));
}

// Qt merges neighbouring separators; the File menu keeps both of its separators before Exit.
TEST_F(MonitorDialogTest, FileMenuShowsTwoSeparatorsBeforeExit) {
    auto dialog = Open();
    QMenu* file = dialog->MenuBar().actions()[0]->menu();
    const QList<QAction*> items = file->actions();
    ASSERT_EQ(items.size(), 6);
    EXPECT_EQ(items[0], dialog->MenuItem(32774));
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_NE(items[2]->menu(), nullptr);
    EXPECT_TRUE(items[3]->isSeparator());
    EXPECT_TRUE(items[4]->isSeparator());
    EXPECT_EQ(items[5], dialog->MenuItem(2));
    file->popup(QPoint(0, 0));
    const QRect first = file->actionGeometry(items[3]);
    const QRect second = file->actionGeometry(items[4]);
    EXPECT_FALSE(first.isEmpty());
    EXPECT_FALSE(second.isEmpty());
    EXPECT_LE(first.bottom(), second.top()) << "drawn one below the other";
    EXPECT_LE(second.bottom(), file->actionGeometry(items[5]).top());
    file->hide();
}

// The two fields are read by the table that every number setting follows; Save shows what the
// reading made of each text.
TEST_F(MonitorDialogTest, FieldsTakeNumbersByTheSharedTable) {
    auto dialog = Open();
    for (const test::NumberCase& c : test::NumberCases()) {
        const std::string setting = c.setting;
        if (setting != "Port" && setting != "Interval") {
            continue;
        }
        SCOPED_TRACE(setting + "=\"" + c.text + "\"");
        Field(*dialog, 1003)->setText("80");
        Field(*dialog, 1004)->setText("60");
        QLineEdit* field = Field(*dialog, setting == "Port" ? 1003 : 1004);
        std::uint32_t Settings::*member = setting == "Port" ? &Settings::Port : &Settings::Interval;
        field->setText(QString::fromStdString(c.text));
        MessageRecorder messages;
        dialog->Command(1016);
        ASSERT_EQ(messages.boxes.size(), 1u);
        if (c.accepted) {
            EXPECT_EQ(messages.boxes[0].text, U("設定を保存しました。"));
            EXPECT_EQ(Stored().*member, c.value);
        } else {
            EXPECT_EQ(messages.boxes[0].text, c.message);
            if (c.value != 0) {
                EXPECT_EQ(dialog->Record().*member, c.value) << "a range refusal keeps the number";
            }
        }
    }
}

TEST_F(MonitorDialogTest, StartupModeIsStoredAtOnceAndTheAutomaticStartHidesTheWindow) {
    LoopbackOnlyListener listener;
    Store([&](Settings& s) { s.Port = listener.Port(); });
    {
        auto dialog = Open();
        dialog->MenuItem(32775)->trigger();
        EXPECT_TRUE(dialog->MenuItem(32775)->isChecked());
        EXPECT_FALSE(dialog->MenuItem(32776)->isChecked());
        EXPECT_EQ(Stored().AutoStartupMode, 1u);
        EXPECT_FALSE(dialog->Control(1016)->isVisible()) << "the mode is stored by its own command";
        EXPECT_FALSE(dialog->TimerArmed(AutoStartTimer)) << "the mode acts at the next start";
    }

    auto dialog = Open();
    EXPECT_TRUE(dialog->MenuItem(32775)->isChecked());
    EXPECT_TRUE(dialog->TimerArmed(AutoStartTimer));
    bool testSucceededWhileVisible = false;
    ASSERT_TRUE(WaitUntil([&] {
        if (dialog->Cycle().StatusText == texts::TestSucceeded() && dialog->isVisible()) {
            testSucceededWhileVisible = true;
        }
        return !dialog->isVisible();
    })) << "waited for the automatic start to hide the window";
    EXPECT_TRUE(testSucceededWhileVisible) << "the window hides only after a successful test";
    EXPECT_EQ(dialog->Cycle().Stopped(), 0u) << "the automatic start starts the monitor";
    EXPECT_TRUE(dialog->Tray().Icon().isVisible()) << "the tray icon stays";

    // Back to manual: stored at once, no automatic start next time.
    dialog->MenuItem(32776)->trigger();
    EXPECT_EQ(Stored().AutoStartupMode, 0u);
}

TEST_F(MonitorDialogTest, ExitEndsTheDialogAndLeavesNoTrayIcon) {
    auto dialog = Open();
    EXPECT_TRUE(dialog->Tray().Icon().isVisible());
    EXPECT_EQ(dialog->Tray().Icon().toolTip(), "IIS Tolvane");
    int result = -1;
    QObject::connect(dialog.get(), &QDialog::finished, [&](int r) { result = r; });
    dialog->close();  // the close box
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(dialog->Tray().Icon().isVisible());
}

TEST_F(MonitorDialogTest, AboutBoxOpensFromEachTriggerAndLeavesTheStateAlone) {
    LoopbackOnlyListener listener;
    Store([&](Settings& s) { s.Port = listener.Port(); });
    auto dialog = Open();
    dialog->Command(1);
    ASSERT_TRUE(WaitUntil([&] { return dialog->Cycle().CycleBusy() == 0; }))
        << "waited for the check to end";

    const std::pair<const char*, std::function<void()>> triggers[] = {
        {"icon click", [&] { QTest::mouseClick(dialog->Control(1008), Qt::LeftButton); }},
        {"Help menu", [&] { dialog->MenuItem(16)->trigger(); }},
        {"window menu", [&] { dialog->WindowMenuItem(16)->trigger(); }},
        {"tray menu", [&] { dialog->Tray().MenuItem(16)->trigger(); }},
    };
    for (const auto& [name, trigger] : triggers) {
        SCOPED_TRACE(name);
        QString title;
        bool isAbout = false;
        int result = -1;
        auto opened = WhenModalOpens([&](QDialog& box) {
            title = box.windowTitle();
            isAbout = qobject_cast<AboutDialog*>(&box) != nullptr;
            QTest::keyClick(&box, Qt::Key_Return);  // OK is the default button
            result = box.result();
        });
        trigger();
        EXPECT_TRUE(*opened);
        EXPECT_TRUE(isAbout);
        EXPECT_EQ(title, "About IIS Tolvane");
        EXPECT_EQ(result, QDialog::Accepted);
        EXPECT_EQ(dialog->Cycle().Stopped(), 0u);
        EXPECT_TRUE(dialog->Tray().Icon().isVisible());
    }
}

TEST_F(MonitorDialogTest, MailSettingsReachTheRecordOnlyWithOk) {
    auto dialog = Open();
    const Settings before = dialog->Record();

    auto cancelled = WhenModalOpens([](QDialog& box) {
        auto* mail = qobject_cast<MailSettingsDialog*>(&box);
        ASSERT_NE(mail, nullptr);
        qobject_cast<QLineEdit*>(mail->Control(1010))->setText("x@example.jp");
        box.reject();
    });
    dialog->Command(32774);
    EXPECT_TRUE(*cancelled);
    EXPECT_EQ(dialog->Record().From, before.From);

    auto accepted = WhenModalOpens([](QDialog& box) {
        auto* mail = qobject_cast<MailSettingsDialog*>(&box);
        ASSERT_NE(mail, nullptr);
        qobject_cast<QAbstractButton*>(mail->Control(1015))->click();
        qobject_cast<QLineEdit*>(mail->Control(1010))->setText("from@example.jp");
        qobject_cast<QLineEdit*>(mail->Control(1011))->setText("to@example.jp");
        qobject_cast<QLineEdit*>(mail->Control(1016))->setText("smtp.example.jp");
        qobject_cast<QAbstractButton*>(mail->Control(1))->click();
    });
    dialog->Command(32774);
    EXPECT_TRUE(*accepted);
    EXPECT_EQ(dialog->Record().WithMail, 1u);
    EXPECT_EQ(dialog->Record().From, "from@example.jp");
    EXPECT_EQ(dialog->Record().Smtp, "smtp.example.jp");
    EXPECT_EQ(Stored().To, "to@example.jp");
    EXPECT_FALSE(dialog->Control(1016)->isVisible())
        << "mail settings are stored by their own dialog";
    EXPECT_EQ(Stored().Port, before.Port);
}

TEST_F(MonitorDialogTest, WindowMenuHidesOnlyWhileTheMonitorWaits) {
    LoopbackOnlyListener listener;
    Store([&](Settings& s) { s.Port = listener.Port(); });
    auto dialog = Open();
    dialog->WindowMenuItem(48)->trigger();
    EXPECT_TRUE(dialog->isVisible()) << "stopped: item 48 is guarded";
    dialog->Command(1);
    ASSERT_TRUE(WaitUntil([&] { return dialog->Cycle().CycleBusy() == 0; }))
        << "waited for the check to end";
    dialog->WindowMenuItem(48)->trigger();
    EXPECT_FALSE(dialog->isVisible());
    dialog->Tray().MenuItem(32)->trigger();
    EXPECT_TRUE(dialog->isVisible());
}

// Alt+H is both the Hide button's and the Help menu's access key; as in a Windows dialog, an
// enabled control's access key comes first, and the menu's serves while the control is off.
TEST_F(MonitorDialogTest, AccessKeysOfControlsGoBeforeTheMenuBar) {
    LoopbackOnlyListener listener;
    Store([&](Settings& s) { s.Port = listener.Port(); });
    auto dialog = Open();
    QMenu* help = dialog->MenuBar().actions()[1]->menu();

    QTest::keyClick(dialog->focusWidget(), Qt::Key_H, Qt::AltModifier);
    EXPECT_TRUE(dialog->isVisible()) << "Hide is disabled while stopped";
    EXPECT_TRUE(help->isVisible()) << "so the menu's access key opens Help";
    help->hide();
    WaitUntil([&] { return dialog->isActiveWindow(); }, 5000);

    QTest::keyClick(dialog->focusWidget(), Qt::Key_R, Qt::AltModifier);  // 開始(&R)
    ASSERT_TRUE(WaitUntil([&] {
        return dialog->Cycle().Stopped() == 0 && dialog->Cycle().CycleBusy() == 0;
    })) << "waited for the first check of the started monitor to end";
    QTest::keyClick(dialog.get(), Qt::Key_H, Qt::AltModifier);
    WaitUntil([&] { return !dialog->isVisible(); }, 3000);
    EXPECT_FALSE(dialog->isVisible()) << "the Hide button's access key hides the window";
    EXPECT_FALSE(help->isVisible());
}

TEST_F(MonitorDialogTest, TrayMenuShowsItsDefaultItemInBold) {
    auto dialog = Open();
    QMenu& menu = dialog->Tray().Menu();
    const QList<QAction*> actions = menu.actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(FromQString(actions[0]->text()), Sjis("表示(&D)"));
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(FromQString(actions[2]->text()), Sjis("&About IISTolvane..."));
    menu.popup(QPoint(0, 0));
    EXPECT_EQ(menu.defaultAction(), actions[0]);
    menu.hide();
}

TEST(TrayTipTest, CutTo63BytesWithoutSplittingACharacter) {
    const std::string kanji = Sjis("監");  // two bytes
    struct Case {
        std::string text;
        std::size_t expected;
    };
    const Case cases[] = {
        {"IIS Tolvane", 11},
        {std::string(63, 'a'), 63},
        {std::string(70, 'a'), 63},
        {std::string(62, 'a') + kanji, 62},  // the character would end at byte 64
        {std::string(61, 'a') + kanji + "b", 63},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CutCp932(c.text, 63), c.text.substr(0, c.expected));
    }
}

}  // namespace
}  // namespace tolvane
