// The mail settings dialog against a real settings file; the send test's dispatch is a stand-in
// that records what it was given (the real dispatch has its own tests).
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest/QTest>
#include <filesystem>
#include <fstream>
#include <memory>

#include "os/CodePage.h"
#include "settings/SettingsStore.h"
#include "settings/SmtpPassword.h"
#include "tests/support/NumberCases.h"
#include "tests/support/PosixSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/qt/MailSecurityDialog.h"
#include "ui/qt/MailSettingsDialog.h"
#include "ui/qt/UiTexts.h"

namespace tolvane {
namespace {

using test::MessageRecorder;
using test::PaintCounter;
using test::ReadFile;
using test::TempDir;
using test::U;
using test::WaitUntil;
using test::WhenModalOpens;

constexpr int kMailFields[] = {1009, 1016, 1003, 1010, 1011, 1012, 1013, 1017};

struct Sent {
    std::string from, to, subject, body, smtp;
    std::uint32_t port;
    MailSecurity security;
};

class MailSettingsDialogTest : public ::testing::Test {
protected:
    MailDispatch Dispatch() {
        return [this](const std::string& from, const std::string& to, const std::string& subject,
                      const std::string& body, const std::string& smtp, std::uint32_t port,
                      const MailSecurity& security, std::string& reason) {
            sent.push_back({from, to, subject, body, smtp, port, security});
            if (duringSend) {
                duringSend();
            }
            reason = failReason;
            return result;
        };
    }

    std::unique_ptr<MailSettingsDialog> Open(std::uint32_t withMail,
                                             const std::string& from = "from@example.jp",
                                             const std::string& to = "to@example.jp") {
        auto dialog = std::make_unique<MailSettingsDialog>(store, Dispatch());
        dialog->WithMail = withMail;
        dialog->From = from;
        dialog->To = to;
        dialog->Subject = Sjis("件名");
        dialog->Body = Sjis("一行目\r\n二行目");
        dialog->Smtp = "smtp.example.jp";
        dialog->SmtpPort = 25;
        dialog->show();
        dialog->activateWindow();
        WaitUntil([&] { return dialog->isActiveWindow(); }, 5000);
        return dialog;
    }

    static QLineEdit* Field(MailSettingsDialog& dialog, int id) {
        return qobject_cast<QLineEdit*>(dialog.Control(id));
    }
    static QAbstractButton* Button(MailSettingsDialog& dialog, int id) {
        return qobject_cast<QAbstractButton*>(dialog.Control(id));
    }

    Settings Stored() {
        Settings settings;
        SettingsStore(hive).LoadSettings(settings);
        return settings;
    }

    TempDir dir;
    RegistryHive hive{dir.File("HKEY_CLASSES_ROOT.reg")};
    SettingsStore store{hive};
    std::vector<Sent> sent;
    int result = 1;
    std::string failReason;
    std::function<void()> duringSend;
};

// The three states and the moves between them.
TEST_F(MailSettingsDialogTest, StatesEnableTheMailFieldsAndButtons) {
    struct Case {
        const char* name;
        std::uint32_t withMail;
        bool offChecked, onChecked, fieldsEnabled;
    };
    const Case cases[] = {
        {"mail off", 0, true, false, false},
        {"mail on", 1, false, true, true},
        {"by hand: neither radio", 0xFFFFFFFFu, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto dialog = Open(c.withMail);
        EXPECT_EQ(Button(*dialog, 1014)->isChecked(), c.offChecked);
        EXPECT_EQ(Button(*dialog, 1015)->isChecked(), c.onChecked);
        for (int id : kMailFields) {
            EXPECT_EQ(dialog->Control(id)->isEnabled(), c.fieldsEnabled) << id;
        }
        EXPECT_TRUE(dialog->Control(1)->isEnabled());
        EXPECT_TRUE(dialog->Control(2)->isEnabled());
    }

    auto dialog = Open(0);
    QTest::mouseClick(Button(*dialog, 1015), Qt::LeftButton);
    for (int id : kMailFields) {
        EXPECT_TRUE(dialog->Control(id)->isEnabled()) << id;
    }
    QTest::mouseClick(Button(*dialog, 1014), Qt::LeftButton);
    for (int id : kMailFields) {
        EXPECT_FALSE(dialog->Control(id)->isEnabled()) << id;
    }
    EXPECT_EQ(dialog->WithMail, 0u) << "WithMail changes only when OK takes the controls";
}

TEST_F(MailSettingsDialogTest, SendTestDisablesEverythingWhileSendingAndReportsTheOutcome) {
    struct Case {
        int result;
        std::string reason;
        MessageBox::Icon icon;
        QString text;
    };
    const Case cases[] = {
        {1, "", MessageBox::Icon::Information,
         U("メールを送信しました。送信したメールを確認して下さい。")},
        {0, "550 mailbox unavailable", MessageBox::Icon::Exclamation,
         U("メールが送信出来ません。設定を見直して下さい。\n550 mailbox unavailable")},
        {0, "", MessageBox::Icon::Exclamation,
         U("メールが送信出来ません。設定を見直して下さい。\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        result = c.result;
        failReason = c.reason;
        sent.clear();
        auto dialog = Open(1);
        const std::string storeBefore = ReadFile(hive.Path());
        PaintCounter paints(dialog.get());
        int paintsBefore = paints.count;
        bool allDisabled = false;
        bool paintedBeforeSend = false;
        duringSend = [&] {
            paintedBeforeSend = paints.count > paintsBefore;
            allDisabled = dialog->Idle == 0;
            for (int id : {1009, 1016, 1003, 1010, 1011, 1012, 1013, 1, 2}) {
                allDisabled = allDisabled && !dialog->Control(id)->isEnabled();
            }
        };
        bool disabledDuringBox = false;
        MessageRecorder messages([&](const MessageBox::Shown&) {
            disabledDuringBox = !dialog->Control(1)->isEnabled();
        });
        QTest::mouseClick(dialog->Control(1009), Qt::LeftButton);

        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].from, "from@example.jp");
        EXPECT_EQ(sent[0].to, "to@example.jp");
        EXPECT_EQ(sent[0].subject, Sjis("件名"));
        EXPECT_EQ(sent[0].body, Sjis("一行目\r\n二行目"));
        EXPECT_EQ(sent[0].smtp, "smtp.example.jp");
        EXPECT_EQ(sent[0].port, 25u);
        EXPECT_TRUE(allDisabled) << "the sending state";
        EXPECT_TRUE(paintedBeforeSend)
            << "the disabled dialog must be drawn before the send blocks";
        EXPECT_TRUE(disabledDuringBox);
        ASSERT_EQ(messages.boxes.size(), 1u);
        EXPECT_EQ(messages.boxes[0].icon, c.icon);
        EXPECT_EQ(messages.boxes[0].text, c.text);
        EXPECT_EQ(messages.boxes[0].caption, "IIS Tolvane");
        for (int id : {1009, 1016, 1003, 1010, 1011, 1012, 1013, 1, 2}) {
            EXPECT_TRUE(dialog->Control(id)->isEnabled()) << "back to mail on: " << id;
        }
        EXPECT_EQ(ReadFile(hive.Path()), storeBefore) << "a send test saves nothing";
    }
}

TEST_F(MailSettingsDialogTest, AddressesAreTrimmedOfSingleByteBlanksOnly) {
    struct Case {
        const char* from;
        const char* to;
        bool sends;
        const char* sentFrom;
        const char* sentTo;
    };
    const Case cases[] = {
        {"  a@example.jp \t", "\tb@example.jp  ", true, "a@example.jp", "b@example.jp"},
        {"   ", "b@example.jp", false, "", ""},
        {"a@example.jp", "", false, "", ""},
        {"　", "b@example.jp", true, "　", "b@example.jp"},  // a full-width blank is a character
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.from);
        sent.clear();
        auto dialog = Open(1, Sjis(c.from), Sjis(c.to));
        MessageRecorder messages;
        dialog->Control(1012)->setFocus();
        QTest::keyClick(dialog->Control(1012),
                        Qt::Key_Return);  // Return in a one-line field: send test
        if (c.sends) {
            ASSERT_EQ(sent.size(), 1u);
            EXPECT_EQ(sent[0].from, Sjis(c.sentFrom));
            EXPECT_EQ(sent[0].to, Sjis(c.sentTo));
            EXPECT_EQ(FromQString(Field(*dialog, 1010)->text()), Sjis(c.sentFrom))
                << "the trimmed text stays";
        } else {
            EXPECT_TRUE(sent.empty());
            ASSERT_EQ(messages.boxes.size(), 1u);
            EXPECT_EQ(messages.boxes[0].text, U("送信者か宛先が入力されていません。"));
            EXPECT_EQ(messages.boxes[0].icon, MessageBox::Icon::Exclamation);
        }
    }
}

// The port field, read by the table that every number setting follows: accepted with blanks
// around, refused when not a number or above 65535; a refusal sends nothing, saves nothing and
// puts the focus on the field with its text selected.
TEST_F(MailSettingsDialogTest, PortCases) {
    for (const test::NumberCase& c : test::NumberCases()) {
        if (std::string(c.setting) != "SmtpPort") {
            continue;
        }
        for (int button : {1009, 1}) {
            SCOPED_TRACE("\"" + c.text + "\" with " + std::to_string(button));
            sent.clear();
            auto dialog = Open(1);
            const std::string storeBefore = ReadFile(hive.Path());
            MessageRecorder messages;
            QLineEdit* port = Field(*dialog, 1003);
            port->setText(
                QString::fromStdString(c.text));  // set: the digit filter only stops typing
            QTest::mouseClick(dialog->Control(button), Qt::LeftButton);
            if (c.accepted) {
                EXPECT_EQ(dialog->SmtpPort, c.value);
                if (button == 1) {
                    EXPECT_EQ(dialog->result(), QDialog::Accepted);
                    EXPECT_EQ(Stored().SmtpPort, c.value);
                } else {
                    EXPECT_EQ(sent.size(), 1u);
                }
                continue;
            }
            ASSERT_EQ(messages.boxes.size(), 1u);
            EXPECT_EQ(messages.boxes[0].text, c.message);
            EXPECT_EQ(messages.boxes[0].caption, ApplicationName());
            EXPECT_EQ(messages.boxes[0].icon, MessageBox::Icon::Exclamation);
            EXPECT_TRUE(sent.empty());
            EXPECT_EQ(ReadFile(hive.Path()), storeBefore);
            EXPECT_TRUE(dialog->isVisible()) << "the dialog stays open";
            EXPECT_EQ(dialog->focusWidget(), port);
            EXPECT_EQ(port->selectedText(), port->text());
        }
    }
}

// Opening gives the first field the focus with its text selected; with the mail fields off,
// the checked radio button has it.
TEST_F(MailSettingsDialogTest, OpeningFocusesTheFirstFieldWithItsTextSelected) {
    {
        auto dialog = Open(1);
        QLineEdit* from = Field(*dialog, 1010);
        EXPECT_EQ(dialog->focusWidget(), from);
        EXPECT_EQ(from->selectedText(), "from@example.jp");
        QTest::keyClicks(from, "x");
        EXPECT_EQ(from->text(), "x");
    }
    auto dialog = Open(0);
    EXPECT_EQ(dialog->focusWidget(), dialog->Control(1014));
}

// As a Windows radio group: the checked button is in the tab order, the other is not, and the
// arrow keys move the choice, which switches the mail fields at once.
TEST_F(MailSettingsDialogTest, RadioButtonsAreReachedByTabAndSwitchedByArrows) {
    auto dialog = Open(1);
    QWidget* from = dialog->Control(1010);
    QTest::keyClick(from, Qt::Key_Backtab);
    ASSERT_EQ(dialog->focusWidget(), dialog->Control(1015)) << "the checked one, by Shift+Tab";
    QTest::keyClick(dialog->focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(dialog->focusWidget(), dialog->Control(2)) << "the unchecked one has no tab stop";
    QTest::keyClick(dialog->focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(dialog->focusWidget(), dialog->Control(1015));

    struct Step {
        Qt::Key key;
        int checked;
    };
    const Step steps[] = {
        {Qt::Key_Up, 1014},    {Qt::Key_Down, 1015}, {Qt::Key_Left, 1014},
        {Qt::Key_Right, 1015}, {Qt::Key_Down, 1014},  // the group wraps around
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.key);
        QTest::keyClick(dialog->focusWidget(), step.key);
        EXPECT_EQ(dialog->focusWidget(), dialog->Control(step.checked));
        EXPECT_TRUE(Button(*dialog, step.checked)->isChecked());
        for (int id : kMailFields) {
            EXPECT_EQ(dialog->Control(id)->isEnabled(), step.checked == 1015) << id;
        }
    }
    // With 1014 now checked, Tab leaves the group: the mail fields are off, so OK comes next.
    QTest::keyClick(dialog->focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(dialog->focusWidget(), dialog->Control(1));
    QTest::mouseClick(dialog->Control(1), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(Stored().WithMail, 0u);
}

TEST_F(MailSettingsDialogTest, OkChecksAddressesOnlyWithMailAndStoresThemAsTyped) {
    struct Case {
        const char* name;
        std::uint32_t withMail;
        const char* from;
        const char* to;
        bool accepted;
    };
    const Case cases[] = {
        {"mail off, nothing entered", 0, "", "", true},
        {"mail on, blanks around", 1, "  a@example.jp ", " b@example.jp", true},
        {"mail on, blank sender", 1, "  ", "b@example.jp", false},
        {"by hand, nothing entered", 0xFFFFFFFFu, "", "", false},
        {"by hand, entered", 0xFFFFFFFFu, "a@example.jp", "b@example.jp", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir own;
        RegistryHive ownHive(own.File("HKEY_CLASSES_ROOT.reg"));
        SettingsStore ownStore(ownHive);
        MailSettingsDialog dialog(ownStore, Dispatch());
        dialog.WithMail = c.withMail;
        dialog.From = c.from;
        dialog.To = c.to;
        dialog.show();
        MessageRecorder messages;
        QTest::mouseClick(dialog.Control(1), Qt::LeftButton);
        Settings stored;
        SettingsStore(ownHive).LoadSettings(stored);
        if (c.accepted) {
            EXPECT_EQ(dialog.result(), QDialog::Accepted);
            EXPECT_EQ(stored.WithMail, c.withMail);
            EXPECT_EQ(stored.From, c.from);
            EXPECT_EQ(stored.To, c.to);
            EXPECT_TRUE(messages.boxes.empty());
        } else {
            EXPECT_TRUE(dialog.isVisible());
            ASSERT_EQ(messages.boxes.size(), 1u);
            EXPECT_EQ(messages.boxes[0].text, U("送信者か宛先が入力されていません。"));
            EXPECT_EQ(stored.WithMail, 0u) << "nothing saved";
            EXPECT_TRUE(stored.From.empty());
        }
        EXPECT_TRUE(sent.empty());
    }
}

TEST_F(MailSettingsDialogTest, OkThatTheStoreRefusesSaysWhyAndStaysOpen) {
    auto dialog = Open(1);
    MessageRecorder messages;
    // The store's place is taken by a folder: it can be neither read nor written.
    std::filesystem::remove(hive.Path());
    std::filesystem::create_directory(hive.Path());
    QTest::mouseClick(dialog->Control(1), Qt::LeftButton);
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].icon, MessageBox::Icon::Exclamation);
    const QString& text = messages.boxes[0].text;
    EXPECT_TRUE(text.startsWith(U("設定を保存できませんでした。") + "\n")) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromStdString(hive.Path()))) << text.toStdString();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(Field(*dialog, 1010)->text(), "from@example.jp");
}

// The store's reason is the system's text: a path with Japanese in it is UTF-8 here, and
// shows as it is, not read as CP932.
TEST_F(MailSettingsDialogTest, ARefusedStoreNamesAJapanesePathAsItIs) {
    const std::string place = dir.File("設定") + "/HKEY_CLASSES_ROOT.reg";
    std::filesystem::create_directories(place);  // the store's place taken by a folder
    RegistryHive refusingHive(place);
    SettingsStore refusingStore(refusingHive);
    MailSettingsDialog dialog(refusingStore, Dispatch());
    MessageRecorder messages;
    dialog.show();
    QTest::mouseClick(dialog.Control(1), Qt::LeftButton);
    ASSERT_EQ(messages.boxes.size(), 1u);
    const QString& text = messages.boxes[0].text;
    EXPECT_TRUE(text.startsWith(U("設定を保存できませんでした。") + "\n")) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromUtf8(place.c_str()))) << text.toStdString();
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(MailSettingsDialogTest, CancelAfterASendTestLeavesRecordAndStoreUnchanged) {
    Settings record;
    record.WithMail = 1;
    record.From = "from@example.jp";
    record.To = "to@example.jp";
    SettingsStore(hive).SaveSettings(record);
    const std::string storeBefore = ReadFile(hive.Path());
    MessageRecorder messages;

    auto closed = WhenModalOpens([](QDialog& box) {
        auto* mail = qobject_cast<MailSettingsDialog*>(&box);
        ASSERT_NE(mail, nullptr);
        qobject_cast<QLineEdit*>(mail->Control(1011))->setText("other@example.jp");
        qobject_cast<QLineEdit*>(mail->Control(1016))->setText("smtp.example.jp");
        qobject_cast<QAbstractButton*>(mail->Control(1009))->click();
        QTest::keyClick(&box, Qt::Key_Escape);
    });
    const Settings before = record;
    EXPECT_FALSE(MailSettingsDialog::Edit(record, store, Dispatch(), nullptr));
    EXPECT_TRUE(*closed);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].to, "other@example.jp");
    EXPECT_EQ(record.To, before.To);
    EXPECT_EQ(record.Smtp, before.Smtp);
    EXPECT_EQ(ReadFile(hive.Path()), storeBefore);
}

TEST_F(MailSettingsDialogTest, BodyShowsLineBreaksAndStoresCrLf) {
    auto dialog = Open(1);
    auto* body = qobject_cast<QPlainTextEdit*>(dialog->Control(1013));
    EXPECT_EQ(body->toPlainText(), U("一行目\n二行目"));
    body->setFocus();
    body->moveCursor(QTextCursor::End);
    QTest::keyClick(body, Qt::Key_Return);  // a line break, not the send test
    QTest::keyClicks(body, "3rd");
    EXPECT_TRUE(sent.empty());
    QTest::mouseClick(dialog->Control(1), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(Stored().Body, Sjis("一行目\r\n二行目\r\n3rd"));
}

// The body takes no more than the store reads back: 65,534 CP932 bytes, CR LF counted as two.
TEST_F(MailSettingsDialogTest, BodyStopsAtWhatTheStoreReadsBack) {
    const struct {
        const char* label;
        QString pasted;
        std::string stored;
    } cases[] = {
        {"one-byte characters", QString(70000, u'b'), std::string(65534, 'b')},
        {"two-byte characters", QString(40000, QChar(0x3042)),
         [] {
             std::string text;
             for (int i = 0; i < 32767; ++i) {
                 text += Sjis("あ");
             }
             return text;
         }()},
        {"a line break at the limit", QString(65533, u'b') + "\nc", std::string(65533, 'b')},
        {"exactly the limit", QString(65531, u'b') + "\nc", std::string(65531, 'b') + "\r\nc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        auto dialog = Open(0);
        auto* body = qobject_cast<QPlainTextEdit*>(dialog->Control(1013));
        body->setFocus();
        body->selectAll();
        body->insertPlainText(c.pasted);
        QTest::mouseClick(dialog->Control(1), Qt::LeftButton);
        ASSERT_EQ(dialog->result(), QDialog::Accepted);
        EXPECT_EQ(dialog->Body.size(), c.stored.size());
        EXPECT_EQ(dialog->Body == c.stored, true);
        EXPECT_EQ(Stored().Body == c.stored, true) << "it reads back as saved";
    }
}

// A text Shift_JIS cannot hold is refused, naming its field, before a send or a store: never
// kept with "?" in place of its characters.
TEST_F(MailSettingsDialogTest, TextsShiftJisCannotHoldAreRefusedNamingTheField) {
    const struct {
        int field;
        const char* text;
        const char* named;
    } cases[] = {
        {1010, "josé@example.jp", "送信者"},
        {1011, "łodz@example.jp", "宛先"},
        {1012, "€ 件名", "件名"},
        {1013, "本文\né", "本文"},
        {1016, "mail.éxample.jp", "SMTPサーバー"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.named);
        auto dialog = Open(1);
        MessageRecorder messages;
        if (auto* line = Field(*dialog, c.field)) {
            line->setText(U(c.text));
        } else {
            qobject_cast<QPlainTextEdit*>(dialog->Control(c.field))->setPlainText(U(c.text));
        }
        for (int button : {1009, 1}) {
            messages.boxes.clear();
            QTest::mouseClick(dialog->Control(button), Qt::LeftButton);
            ASSERT_EQ(messages.boxes.size(), 1u);
            EXPECT_EQ(messages.boxes[0].icon, MessageBox::Icon::Exclamation);
            EXPECT_EQ(messages.boxes[0].text, U((std::string("「") + c.named +
                                                 "」には Shift_JIS で保存できない文字があります。")
                                                    .c_str()));
            EXPECT_EQ(QApplication::focusWidget(), dialog->Control(c.field));
        }
        EXPECT_TRUE(sent.empty());
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(Stored().From, Settings().From) << "nothing was stored";
    }
}

// The small dialog's controls as the tests reach them.
QComboBox* List(MailSecurityDialog& dialog, int id) {
    return qobject_cast<QComboBox*>(dialog.Control(id));
}
QLineEdit* Line(MailSecurityDialog& dialog, int id) {
    return qobject_cast<QLineEdit*>(dialog.Control(id));
}
// Chooses an entry as the keyboard does: a list that has the focus steps with the arrow keys.
void Choose(MailSecurityDialog& dialog, int id, int index) {
    QComboBox* list = List(dialog, id);
    list->setFocus();
    while (list->currentIndex() < index) {
        QTest::keyClick(list, Qt::Key_Down);
    }
    while (list->currentIndex() > index) {
        QTest::keyClick(list, Qt::Key_Up);
    }
}

// "詳細" opens the small dialog on the mail dialog's values; what OK takes there goes into the
// send test at once and, with the mail dialog's OK, into the store and the window's record.
TEST_F(MailSettingsDialogTest, TheSecurityDialogsValuesReachTheSendTestAndTheStore) {
    // Whether a password is stored is read beside this test's store.
    test::ScopedEnvironment place("TOLVANE_REGISTRY", hive.Path());
    Settings record;
    record.WithMail = 1;
    record.From = "from@example.jp";
    record.To = "to@example.jp";
    record.Smtp = "smtp.example.jp";
    SettingsStore(hive).SaveSettings(record);
    const std::string fingerprint(64, 'e');
    bool securityShown = false;
    auto closed = WhenModalOpens([&](QDialog& box) {
        auto* mail = qobject_cast<MailSettingsDialog*>(&box);
        ASSERT_NE(mail, nullptr);
        QWidget* advanced = mail->Control(1017);
        ASSERT_NE(advanced, nullptr);
        EXPECT_EQ(qobject_cast<QPushButton*>(advanced)->text(), U("詳細(&A)..."));
        auto opened = WhenModalOpens([&](QDialog& small) {
            auto* security = qobject_cast<MailSecurityDialog*>(&small);
            ASSERT_NE(security, nullptr);
            WaitUntil([&] { return security->isActiveWindow(); }, 5000);
            securityShown = true;
            EXPECT_EQ(security->windowTitle(), U("メールの暗号化と認証"));
            EXPECT_EQ(List(*security, 1101)->currentText(), U("なし"));
            EXPECT_EQ(List(*security, 1102)->currentText(), U("信頼できる証明書とホスト名"));
            EXPECT_EQ(security->focusWidget(), security->Control(1101));
            for (int id : {1102, 1103, 1104, 1105, 1107, 1108}) {
                EXPECT_FALSE(security->Control(id)->isEnabled()) << "no TLS: " << id;
            }
            Choose(*security, 1101, 1);
            EXPECT_EQ(List(*security, 1101)->currentText(), U("STARTTLS"));
            EXPECT_FALSE(security->Control(1103)->isEnabled()) << "the fingerprint decides not";
            Choose(*security, 1102, 1);
            for (int id : {1102, 1103, 1104, 1105, 1108}) {
                EXPECT_TRUE(security->Control(id)->isEnabled()) << id;
            }
            EXPECT_FALSE(security->Control(1107)->isEnabled()) << "nothing stored to remove";
            QTest::keyClicks(Line(*security, 1103), QString::fromStdString(fingerprint));
            QTest::keyClicks(Line(*security, 1104), "watch@example.jp");
            QTest::keyClicks(Line(*security, 1105), "pass word");
            EXPECT_EQ(Line(*security, 1105)->echoMode(), QLineEdit::Password);
            EXPECT_EQ(qobject_cast<QLabel*>(security->Control(1106))->text(),
                      U("入力したものに替えます"));
            QTest::keyClicks(Line(*security, 1108), "oauth2-token --mail");
            QTest::mouseClick(security->Control(1), Qt::LeftButton);
        });
        QTest::mouseClick(advanced, Qt::LeftButton);
        EXPECT_TRUE(*opened);
        // The send test takes them before anything is saved, the typed password with them.
        qobject_cast<QAbstractButton*>(mail->Control(1009))->click();
        // The password would be stored with OK: here only the values are, so it is taken back.
        mail->Security.SmtpPassword.reset();
        qobject_cast<QAbstractButton*>(mail->Control(1))->click();
    });
    MessageRecorder messages;
    EXPECT_TRUE(MailSettingsDialog::Edit(record, store, Dispatch(), nullptr));
    EXPECT_TRUE(*closed);
    EXPECT_TRUE(securityShown);
    ASSERT_EQ(sent.size(), 1u);
    const MailSecurity& used = sent[0].security;
    EXPECT_EQ(used.SmtpSecurity, "starttls");
    EXPECT_EQ(used.SmtpVerify, "fingerprint");
    EXPECT_EQ(used.SmtpFingerprint, fingerprint);
    EXPECT_EQ(used.SmtpUser, "watch@example.jp");
    EXPECT_EQ(used.SmtpTokenCommand, "oauth2-token --mail");
    EXPECT_EQ(used.SmtpPassword, std::optional<std::string>("pass word"));
    const Settings stored = Stored();
    for (const Settings* values : {&stored, &std::as_const(record)}) {
        EXPECT_EQ(values->SmtpSecurity, "starttls");
        EXPECT_EQ(values->SmtpVerify, "fingerprint");
        EXPECT_EQ(values->SmtpFingerprint, fingerprint);
        EXPECT_EQ(values->SmtpUser, "watch@example.jp");
        EXPECT_EQ(values->SmtpTokenCommand, "oauth2-token --mail");
    }
    EXPECT_EQ(ReadFile(hive.Path()).find("pass word"), std::string::npos)
        << "the password is never among the settings";
}

// A value that breaks its rule is refused naming it, and the dialog stays open with the focus
// on it; Cancel then hands nothing back.
TEST_F(MailSettingsDialogTest, TheSecurityDialogRefusesABrokenValueAndCancelKeepsTheOld) {
    const struct {
        const char* name;
        int field;
        const char* text;
        const char* message;
    } cases[] = {
        {"a short fingerprint", 1103, "AB:CD",
         "「フィンガープリント」の値が正しくありません。\nSmtpFingerprint: must be "},
        {"a user Shift_JIS cannot hold", 1104, "josé",
         "「ユーザー名」には Shift_JIS で保存できない文字があります。"},
    };
    test::ScopedEnvironment place("TOLVANE_REGISTRY", hive.Path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto dialog = Open(1);
        dialog->Security.SmtpSecurity = "tls";
        dialog->Security.SmtpVerify = "fingerprint";
        dialog->Security.SmtpUser = "before";
        MessageRecorder messages;
        bool stayedOpen = false;
        auto opened = WhenModalOpens([&](QDialog& small) {
            auto* security = qobject_cast<MailSecurityDialog*>(&small);
            ASSERT_NE(security, nullptr);
            WaitUntil([&] { return security->isActiveWindow(); }, 5000);
            Line(*security, c.field)->setText(U(c.text));
            QTest::mouseClick(security->Control(1), Qt::LeftButton);
            stayedOpen = security->isVisible() && security->result() != QDialog::Accepted;
            EXPECT_EQ(security->focusWidget(), security->Control(c.field));
            QTest::mouseClick(security->Control(2), Qt::LeftButton);
        });
        QTest::mouseClick(dialog->Control(1017), Qt::LeftButton);
        EXPECT_TRUE(*opened);
        EXPECT_TRUE(stayedOpen);
        ASSERT_EQ(messages.boxes.size(), 1u);
        EXPECT_EQ(messages.boxes[0].icon, MessageBox::Icon::Exclamation);
        EXPECT_TRUE(messages.boxes[0].text.startsWith(U(c.message)))
            << messages.boxes[0].text.toStdString();
        EXPECT_EQ(dialog->Security.SmtpUser, "before");
        EXPECT_EQ(dialog->Security.SmtpFingerprint, "");
        EXPECT_FALSE(dialog->Security.SmtpPassword.has_value());
    }
}

// A typed password that cannot be kept: the mail dialog's OK says why, saves nothing and stays
// open with what was typed.
TEST_F(MailSettingsDialogTest, APasswordThatCannotBeKeptKeepsTheDialogOpen) {
    // The password is kept beside the settings store, in a folder that is a file here.
    std::ofstream(dir.File("not-a-folder")) << "x";
    test::ScopedEnvironment place("TOLVANE_REGISTRY",
                                  dir.File("not-a-folder") + "/HKEY_CLASSES_ROOT.reg");
    auto dialog = Open(1);
    dialog->Security.SmtpSecurity = "tls";
    dialog->Security.SmtpUser = "watch";
    dialog->Security.SmtpPassword = "typed";
    MessageRecorder messages;
    QTest::mouseClick(dialog->Control(1), Qt::LeftButton);
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].icon, MessageBox::Icon::Exclamation);
    EXPECT_TRUE(messages.boxes[0].text.startsWith(U("パスワードを保存できませんでした。\n")))
        << messages.boxes[0].text.toStdString();
    EXPECT_GT(messages.boxes[0].text.size(), U("パスワードを保存できませんでした。\n").size())
        << "the reason follows";
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(Stored().SmtpUser, "") << "nothing saved";
}

// A typed password is kept with the mail dialog's OK, where ReadSmtpPassword finds it, and never
// among the settings; the small dialog then says it is stored, and its removal takes it away.
TEST_F(MailSettingsDialogTest, ATypedPasswordIsKeptAndRemovedWithOk) {
    test::ScopedEnvironment place("TOLVANE_REGISTRY", hive.Path());
    const struct {
        const char* name;
        bool remove;
        const char* stateBefore;
        StoredPassword::Outcome after;
    } steps[] = {
        {"typed", false, "保存されていません", StoredPassword::Outcome::Found},
        {"removed", true, "保存されています", StoredPassword::Outcome::Missing},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        auto dialog = Open(1);
        dialog->Security.SmtpSecurity = "tls";
        dialog->Security.SmtpUser = "watch";
        MessageRecorder messages;
        auto opened = WhenModalOpens([&](QDialog& small) {
            auto* security = qobject_cast<MailSecurityDialog*>(&small);
            ASSERT_NE(security, nullptr);
            auto* state = qobject_cast<QLabel*>(security->Control(1106));
            EXPECT_EQ(state->text(), U(step.stateBefore));
            EXPECT_EQ(security->Control(1107)->isEnabled(), step.remove);
            if (step.remove) {
                QTest::mouseClick(security->Control(1107), Qt::LeftButton);
                EXPECT_EQ(state->text(), U("保存時に削除します"));
                EXPECT_FALSE(security->Control(1107)->isEnabled());
            } else {
                QTest::keyClicks(Line(*security, 1105), "s3cret pass");
            }
            QTest::mouseClick(security->Control(1), Qt::LeftButton);
        });
        QTest::mouseClick(dialog->Control(1017), Qt::LeftButton);
        EXPECT_TRUE(*opened);
        EXPECT_EQ(ReadSmtpPassword().outcome,
                  step.remove ? StoredPassword::Outcome::Found : StoredPassword::Outcome::Missing)
            << "nothing is kept before the mail dialog's OK";
        QTest::mouseClick(dialog->Control(1), Qt::LeftButton);
        EXPECT_TRUE(messages.boxes.empty());
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        const StoredPassword kept = ReadSmtpPassword();
        EXPECT_EQ(kept.outcome, step.after) << kept.reason;
        EXPECT_EQ(kept.value, step.remove ? "" : "s3cret pass");
        EXPECT_EQ(ReadFile(hive.Path()).find("s3cret"), std::string::npos);
    }
}

TEST(UiTextTest, CharactersWithoutACp932FormBecomeQuestionMarks) {
    EXPECT_EQ(FromQString(U("a😀b")), "a?b");
    EXPECT_EQ(FromQString(U("ﾃｽﾄ～")), Sjis("ﾃｽﾄ～"));
    EXPECT_EQ(TrimBlanks("\r\n\v\f x \t"), "x");
}

}  // namespace
}  // namespace tolvane
