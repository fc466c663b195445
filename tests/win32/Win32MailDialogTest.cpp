// The mail settings dialog from template 132, opened by the main window's command and driven
// by window messages. Its send test goes through the real dispatch to a real SMTP server
// (aiosmtpd on loopback), which the test command runs beside this program
// (with_smtp_sink.py): a Windows program under Wine cannot start a Linux process and wait for
// it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "mail/MailTexts.h"
#include "os/CodePage.h"
#include "os/Win32Text.h"
#include "settings/SettingsStore.h"
#include "settings/SmtpPassword.h"
#include "tests/support/TestSupport.h"
#include "tests/win32/Win32TestSupport.h"
#include "tests/win32/WindowTestSupport.h"
#include "ui/model/CommandId.h"
#include "ui/model/UiTexts.h"
#include "ui/win32/WindowText.h"

namespace tolvane {
namespace {

using test::Click;
using test::Placement;
using test::RecordedBox;
using test::WhileModal;

constexpr int NoMailRadio = 1014;
constexpr int WithMailRadio = 1015;
constexpr int FromField = 1010;
constexpr int ToField = 1011;
constexpr int SubjectField = 1012;
constexpr int BodyField = 1013;
constexpr int SmtpField = 1016;
constexpr int SmtpPortField = 1003;
constexpr int SendTestButton = 1009;
constexpr int AdvancedButton = 1017;
// What the mail switch enables and disables; OK and Cancel follow only the send.
constexpr int kMailFields[] = {SendTestButton, SmtpField,    SmtpPortField, FromField,
                               ToField,        SubjectField, BodyField,     AdvancedButton};

constexpr Placement kMailPlacements[] = {
    {6, 2, 161, 10},    {6, 15, 156, 10},   {2, 30, 202, 155},  {8, 42, 34, 8},
    {43, 40, 158, 12},  {8, 56, 34, 10},    {43, 55, 158, 12},  {8, 71, 34, 8},
    {43, 69, 158, 12},  {6, 85, 195, 63},   {6, 153, 57, 8},    {65, 152, 79, 12},
    {147, 153, 30, 8},  {177, 151, 24, 12}, {128, 168, 74, 14}, {33, 189, 60, 14},
    {115, 189, 60, 14}, {50, 168, 74, 14}};  // added after the others: 詳細, beside the send test

bool IsEnabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != 0;
}

class Win32MailDialogTest : public test::Win32WindowTest {
protected:
    void SetUp() override {
        Win32WindowTest::SetUp();
        const char* port = std::getenv("TOLVANE_TEST_SMTP_PORT");
        const char* folder = std::getenv("TOLVANE_TEST_SMTP_DIR");
        ASSERT_TRUE(port != nullptr && folder != nullptr)
            << "no SMTP server beside the test: run it through ctest, or as "
               "with_smtp_sink.py smtp_sink.py wine-run PREFIX win32_mail_dialog_tests.exe";
        smtpPort = port;
        sinkFolder = std::string("Z:") + folder;  // Wine's drive for the Linux file system
        receivedBefore = test::CountReceivedMails(sinkFolder);
    }

    // A mail configuration in the store, read by the main window as it opens.
    void StoreMailSettings(std::uint32_t withMail) {
        Settings settings;
        SettingsStore store(hive);
        store.LoadSettings(settings);
        settings.WithMail = withMail;
        settings.From = "stored@example.jp";
        settings.To = "first@example.jp;second@example.jp";
        settings.Subject = Sjis("再起動のお知らせ");
        settings.Body = Sjis("一行目\r\n二行目");
        settings.Smtp = "127.0.0.1";
        settings.SmtpPort = 2525;
        ASSERT_EQ(store.SaveSettings(settings), 1) << store.LastError();
    }

    // Opens the main window and runs `inside` with the mail dialog its command opened.
    void WithMailDialog(const std::function<void(HWND)>& inside) {
        HWND window = Open();
        WhileModal(
            window, [&] { Click(window, MailSettingsCommand); }, inside);
    }

    Settings Stored() {
        Settings settings;
        SettingsStore(hive).LoadSettings(settings);
        return settings;
    }

    std::size_t NewMails() const { return test::CountReceivedMails(sinkFolder) - receivedBefore; }

    std::string smtpPort;
    std::string sinkFolder;
    std::size_t receivedBefore = 0;
};

TEST_F(Win32MailDialogTest, OpensFromItsTemplateWithTheStoredValues) {
    StoreMailSettings(1);
    WithMailDialog([&](HWND mail) {
        EXPECT_EQ(TextCp932(mail), Text(UiText::MailCaption));
        test::ExpectPlacements(mail, kMailPlacements);
        test::ExpectClientSize(mail, 207, 206);
        EXPECT_EQ(ItemTextCp932(mail, FromField), "stored@example.jp");
        EXPECT_EQ(ItemTextCp932(mail, ToField), "first@example.jp;second@example.jp");
        EXPECT_EQ(ItemTextCp932(mail, SubjectField), Sjis("再起動のお知らせ"));
        EXPECT_EQ(ItemTextCp932(mail, BodyField), Sjis("一行目\r\n二行目"));
        EXPECT_EQ(ItemTextCp932(mail, SmtpField), "127.0.0.1");
        EXPECT_EQ(ItemTextCp932(mail, SmtpPortField), "2525");
        EXPECT_EQ(ItemTextCp932(mail, SendTestButton), Text(UiText::SendTestButton));
        // Shown as Unicode through code page 932, whatever the ANSI code page.
        wchar_t subject[32];
        GetDlgItemTextW(mail, SubjectField, subject, 32);
        EXPECT_STREQ(subject, L"\u518d\u8d77\u52d5\u306e\u304a\u77e5\u3089\u305b");
        EXPECT_EQ(GetFocus(), GetDlgItem(mail, FromField));
        Click(mail, IDCANCEL);
    });
    EXPECT_EQ(boxes.size(), 0u);
}

TEST_F(Win32MailDialogTest, TheMailSwitchEnablesTheMailFields) {
    const struct {
        const char* name;
        std::uint32_t withMail;
        UINT offChecked, onChecked;
        bool fieldsEnabled;
    } cases[] = {
        {"mail off", 0, BST_CHECKED, BST_UNCHECKED, false},
        {"mail on", 1, BST_UNCHECKED, BST_CHECKED, true},
        {"by hand: neither radio", 0xFFFFFFFFu, BST_UNCHECKED, BST_UNCHECKED, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StoreMailSettings(c.withMail);
        WithMailDialog([&](HWND mail) {
            EXPECT_EQ(IsDlgButtonChecked(mail, NoMailRadio), c.offChecked);
            EXPECT_EQ(IsDlgButtonChecked(mail, WithMailRadio), c.onChecked);
            for (int id : kMailFields) {
                EXPECT_EQ(IsEnabled(mail, id), c.fieldsEnabled) << id;
            }
            // A click on either radio button moves between the two idle states at once.
            for (const auto& [radio, enabled] :
                 {std::pair{WithMailRadio, true}, std::pair{NoMailRadio, false}}) {
                SendDlgItemMessageW(mail, radio, BM_CLICK, 0, 0);
                for (int id : kMailFields) {
                    EXPECT_EQ(IsEnabled(mail, id), enabled) << radio << " " << id;
                }
                EXPECT_TRUE(IsEnabled(mail, IDOK));
                EXPECT_TRUE(IsEnabled(mail, IDCANCEL));
            }
            Click(mail, IDCANCEL);
        });
        EXPECT_EQ(Stored().WithMail, c.withMail) << "Cancel stores nothing";
        dialog.reset();
    }
}

TEST_F(Win32MailDialogTest, TheSendTestDeliversWhatIsOnScreenToTheRealServer) {
    StoreMailSettings(1);
    const std::string subject = "IIS 再起動のお知らせ";
    const std::string body = "サーバーを再起動しました。\r\n.点で始まる行\r\n最後の行";
    std::vector<bool> enabledDuringSend;
    WithMailDialog([&](HWND mail) {
        SetItemTextCp932(mail, FromField, " \twatch@example.jp  ");
        SetItemTextCp932(mail, ToField, "admin@example.jp;ops@example.jp");
        SetItemTextCp932(mail, SubjectField, Sjis(subject));
        SetItemTextCp932(mail, BodyField, Sjis(body));
        SetItemTextCp932(mail, SmtpPortField, smtpPort);
        // The result is told while the dialog still shows the sending state.
        onBox = [&](const RecordedBox&) {
            for (int id : {IDOK, IDCANCEL, SendTestButton, FromField, BodyField}) {
                enabledDuringSend.push_back(IsEnabled(mail, id));
            }
        };
        Click(mail, SendTestButton);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, mailtexts::TestMailSent());
        EXPECT_EQ(boxes[0].caption, "IIS Tolvane");
        EXPECT_EQ(boxes[0].flags & MB_ICONMASK, static_cast<unsigned>(MB_ICONINFORMATION));
        EXPECT_EQ(enabledDuringSend, std::vector<bool>(5, false));
        // Back in the mail-on state, the trimmed sender in its field.
        for (int id : kMailFields) {
            EXPECT_TRUE(IsEnabled(mail, id)) << id;
        }
        EXPECT_TRUE(IsEnabled(mail, IDOK));
        EXPECT_EQ(ItemTextCp932(mail, FromField), "watch@example.jp");
        Click(mail, IDCANCEL);
    });
    onBox = nullptr;

    ASSERT_TRUE(test::WaitUntil([&] { return NewMails() >= 1; }, std::chrono::seconds(30)))
        << "the server received nothing";
    const auto mails = test::ReadReceivedMails(sinkFolder);
    ASSERT_EQ(NewMails(), 1u);
    const test::ReceivedMail& mail = mails.back();
    EXPECT_EQ(mail.from, "watch@example.jp");
    EXPECT_EQ(mail.recipients, (std::vector<std::string>{"admin@example.jp", "ops@example.jp"}));
    EXPECT_EQ(mail.subject, subject);
    EXPECT_EQ(mail.body, body + "\r\n");
    EXPECT_NE(mail.raw.find("\r\nsubject: =?ISO-2022-JP?B?"), std::string::npos) << mail.raw;
    EXPECT_NE(mail.raw.find("\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n"),
              std::string::npos)
        << mail.raw;
    // The test saves nothing: store and window keep the stored sender.
    EXPECT_EQ(Stored().From, "stored@example.jp");
    EXPECT_EQ(dialog->Record().From, "stored@example.jp");
}

// Each refusal: its message, where the focus goes, nothing sent and nothing stored.
TEST_F(Win32MailDialogTest, ARefusedSendTestSaysWhyAndSendsNothing) {
    const std::string portMessage = "Please enter a positive integer.";
    const struct {
        const char* name;
        std::string from;
        std::string port;
        std::string message;  // the whole text, or its beginning when a reason follows
        bool reasonFollows;
        unsigned icon;
        std::string caption;
        bool focusOnPort;
    } cases[] = {
        {"sender of blanks only", "  \t ", smtpPort, mailtexts::AddressMissing(), false,
         MB_ICONEXCLAMATION, "IIS Tolvane", false},
        {"nothing listens on the port", "watch@example.jp",
         std::to_string(test::UnusedLoopbackPort()), mailtexts::TestMailFailed(), true,
         MB_ICONEXCLAMATION, "IIS Tolvane", false},
        {"empty port", "watch@example.jp", "", portMessage, false, MB_ICONEXCLAMATION,
         "win32_mail_dialog_tests", true},
        {"port above 65535", "watch@example.jp", "65536",
         "Please enter an integer between 0 and 65535.", false, MB_ICONEXCLAMATION,
         "win32_mail_dialog_tests", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StoreMailSettings(1);
        boxes.clear();
        WithMailDialog([&](HWND mail) {
            SetItemTextCp932(mail, FromField, c.from);
            SetItemTextCp932(mail, SmtpPortField, c.port);
            Click(mail, SendTestButton);
            ASSERT_EQ(boxes.size(), 1u);
            if (c.reasonFollows) {
                EXPECT_EQ(boxes[0].text.rfind(c.message, 0), 0u) << boxes[0].text;
                EXPECT_GT(boxes[0].text.size(), c.message.size()) << "no reason given";
            } else {
                EXPECT_EQ(boxes[0].text, c.message);
            }
            EXPECT_EQ(boxes[0].flags & MB_ICONMASK, c.icon);
            EXPECT_EQ(boxes[0].caption, c.caption);
            if (c.focusOnPort) {
                EXPECT_EQ(GetFocus(), GetDlgItem(mail, SmtpPortField));
                DWORD begin = 1, end = 0;
                SendDlgItemMessageW(mail, SmtpPortField, EM_GETSEL,
                                    reinterpret_cast<WPARAM>(&begin),
                                    reinterpret_cast<LPARAM>(&end));
                EXPECT_EQ(begin, 0u);
                EXPECT_EQ(end, c.port.size()) << "the whole text selected";
            }
            // The dialog stays open in the mail-on state.
            EXPECT_TRUE(IsWindowVisible(mail));
            for (int id : kMailFields) {
                EXPECT_TRUE(IsEnabled(mail, id)) << id;
            }
            Click(mail, IDCANCEL);
        });
        EXPECT_EQ(NewMails(), 0u);
        EXPECT_EQ(Stored().From, "stored@example.jp");
        dialog.reset();
    }
}

// Without an SMTP server the test goes through the script, which needs CDONTS.NewMail: current
// Windows versions (and Wine) have none, and the box says so after the message.
TEST_F(Win32MailDialogTest, TheTestWithoutAServerNamesTheMissingMailObject) {
    StoreMailSettings(1);
    boxes.clear();
    WithMailDialog([&](HWND mail) {
        SetItemTextCp932(mail, SmtpField, "");
        Click(mail, SendTestButton);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, mailtexts::TestMailFailed() + mailtexts::ScriptFailed() +
                                     mailtexts::MailObjectNotRegistered());
        Click(mail, IDCANCEL);
    });
    EXPECT_EQ(NewMails(), 0u);
    dialog.reset();
}

// OK stores the seven values at once and hands them to the window; the addresses as typed,
// blanks and all, and with mail off even empty ones.
TEST_F(Win32MailDialogTest, OkStoresTheSevenValuesAndTheWindowTakesThem) {
    const struct {
        const char* name;
        int radio;
        std::uint32_t withMail;
        std::string from, to;
    } cases[] = {
        {"mail on", WithMailRadio, 1, " watch@example.jp ", "admin@example.jp;ops@example.jp"},
        {"mail off, no addresses", NoMailRadio, 0, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StoreMailSettings(c.withMail == 0 ? 1 : 0);
        boxes.clear();
        WithMailDialog([&](HWND mail) {
            SendDlgItemMessageW(mail, c.radio, BM_CLICK, 0, 0);
            SetItemTextCp932(mail, FromField, c.from);
            SetItemTextCp932(mail, ToField, c.to);
            SetItemTextCp932(mail, SubjectField, Sjis("件名"));
            SetItemTextCp932(mail, BodyField, Sjis("本文\r\n二行目"));
            SetItemTextCp932(mail, SmtpField, "mail.example.jp");
            SetItemTextCp932(mail, SmtpPortField, "587");
            Click(mail, IDOK);
        });
        EXPECT_EQ(boxes.size(), 0u);
        const Settings stored = Stored();
        for (const Settings* record : {&stored, &std::as_const(dialog->Record())}) {
            EXPECT_EQ(record->WithMail, c.withMail);
            EXPECT_EQ(record->From, c.from);
            EXPECT_EQ(record->To, c.to);
            EXPECT_EQ(record->Subject, Sjis("件名"));
            EXPECT_EQ(record->Body, Sjis("本文\r\n二行目"));
            EXPECT_EQ(record->Smtp, "mail.example.jp");
            EXPECT_EQ(record->SmtpPort, 587u);
        }
        // In the registry as any other program reads it.
        EXPECT_EQ(test::ReadSettingText(L"Subject"), L"\u4ef6\u540d");
        EXPECT_EQ(NewMails(), 0u);
        dialog.reset();
    }
}

// A text with a character that Shift_JIS lacks is refused, naming its field, as tolvanectl set
// refuses it: never stored with best fit (é as e), never mailed.
TEST_F(Win32MailDialogTest, TextsShiftJisCannotHoldAreRefusedNamingTheField) {
    const struct {
        int field;
        const wchar_t* text;
        const char* named;
    } cases[] = {
        {FromField, L"jos\u00e9@example.jp", "送信者"},
        {ToField, L"admin@example.jp;\u0142odz@example.jp", "宛先"},
        {SubjectField, L"\u20ac \u4ef6\u540d", "件名"},
        {BodyField, L"\u672c\u6587\r\n\u00e9", "本文"},
        {SmtpField, L"mail.\u00e9xample.jp", "SMTPサーバー"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.named);
        StoreMailSettings(1);
        boxes.clear();
        WithMailDialog([&](HWND mail) {
            SetDlgItemTextW(mail, c.field, c.text);
            for (int button : {SendTestButton, static_cast<int>(IDOK)}) {
                boxes.clear();
                Click(mail, button);
                ASSERT_EQ(boxes.size(), 1u);
                EXPECT_EQ(boxes[0].text, Sjis(std::string("「") + c.named +
                                              "」には Shift_JIS で保存できない文字があります。"));
                EXPECT_EQ(boxes[0].flags & MB_ICONMASK, static_cast<unsigned>(MB_ICONEXCLAMATION));
                EXPECT_EQ(GetFocus(), GetDlgItem(mail, c.field));
                EXPECT_TRUE(IsWindowVisible(mail));
            }
            Click(mail, IDCANCEL);
        });
        EXPECT_EQ(NewMails(), 0u);
        const Settings stored = Stored();
        EXPECT_EQ(stored.From, "stored@example.jp");
        EXPECT_EQ(stored.Smtp, "127.0.0.1");
        dialog.reset();
    }
}

// The small dialog's controls.
constexpr int SecurityList = 1101;
constexpr int VerifyList = 1102;
constexpr int FingerprintField = 1103;
constexpr int UserField = 1104;
constexpr int PasswordField = 1105;
constexpr int PasswordState = 1106;
constexpr int PasswordRemove = 1107;
constexpr int TokenField = 1108;

// Chooses a list's entry as the user does: the selection, then its notification.
void Choose(HWND dialog, int id, int index) {
    SendDlgItemMessageW(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::string ListText(HWND dialog, int id, int index) {
    wchar_t text[64] = {};
    SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(index),
                        reinterpret_cast<LPARAM>(text));
    return FromWide(text);
}

// "詳細" opens template 133 on the mail dialog's values; its OK hands them back, and the mail
// dialog's OK stores them with the others and gives them to the window.
TEST_F(Win32MailDialogTest, TheSecurityDialogsValuesAreStoredWithTheMailSettings) {
    StoreMailSettings(1);
    const std::string fingerprint(64, 'e');
    WithMailDialog([&](HWND mail) {
        EXPECT_EQ(ItemTextCp932(mail, AdvancedButton), Text(UiText::AdvancedButton));
        WhileModal(
            mail, [&] { Click(mail, AdvancedButton); },
            [&](HWND security) {
                EXPECT_EQ(TextCp932(security), Text(UiText::SecurityCaption));
                test::ExpectClientSize(security, 232, 148);
                EXPECT_EQ(ListText(security, SecurityList, 0), Text(UiText::SecurityNone));
                EXPECT_EQ(ListText(security, VerifyList, 2), Text(UiText::VerifyNone));
                EXPECT_EQ(SendDlgItemMessageW(security, SecurityList, CB_GETCURSEL, 0, 0), 0);
                EXPECT_EQ(SendDlgItemMessageW(security, VerifyList, CB_GETCURSEL, 0, 0), 0);
                EXPECT_EQ(GetFocus(), GetDlgItem(security, SecurityList));
                for (int id :
                     {VerifyList, FingerprintField, UserField, PasswordField, TokenField}) {
                    EXPECT_FALSE(IsEnabled(security, id)) << "no TLS: " << id;
                }
                Choose(security, SecurityList, 2);
                for (int id : {VerifyList, UserField, PasswordField, TokenField}) {
                    EXPECT_TRUE(IsEnabled(security, id)) << id;
                }
                EXPECT_FALSE(IsEnabled(security, FingerprintField));
                Choose(security, VerifyList, 1);
                EXPECT_TRUE(IsEnabled(security, FingerprintField));
                SetItemTextCp932(security, FingerprintField, fingerprint);
                SetItemTextCp932(security, UserField, "watch@example.jp");
                SetItemTextCp932(security, TokenField, "oauth2-token --mail");
                EXPECT_NE(SendDlgItemMessageW(security, PasswordField, EM_GETPASSWORDCHAR, 0, 0), 0)
                    << "the password is masked";
                SetItemTextCp932(security, PasswordField, "typed");
                EXPECT_EQ(ItemTextCp932(security, PasswordState), Text(UiText::PasswordTyped));
                SetItemTextCp932(security, PasswordField, "");
                Click(security, IDOK);
            });
        Click(mail, IDOK);
    });
    EXPECT_EQ(boxes.size(), 0u);
    const Settings stored = Stored();
    for (const Settings* record : {&stored, &std::as_const(dialog->Record())}) {
        EXPECT_EQ(record->SmtpSecurity, "tls");
        EXPECT_EQ(record->SmtpVerify, "fingerprint");
        EXPECT_EQ(record->SmtpFingerprint, fingerprint);
        EXPECT_EQ(record->SmtpUser, "watch@example.jp");
        EXPECT_EQ(record->SmtpTokenCommand, "oauth2-token --mail");
        EXPECT_EQ(record->From, "stored@example.jp") << "the seven values as they were";
    }
    EXPECT_EQ(test::ReadSettingText(L"SmtpSecurity"), L"tls");
}

// A value that breaks its rule is refused naming it, with the focus on it; Cancel there and
// Cancel in the mail dialog store nothing.
TEST_F(Win32MailDialogTest, TheSecurityDialogRefusesABrokenValue) {
    StoreMailSettings(1);
    WithMailDialog([&](HWND mail) {
        WhileModal(
            mail, [&] { Click(mail, AdvancedButton); },
            [&](HWND security) {
                Choose(security, SecurityList, 1);
                Choose(security, VerifyList, 1);
                SetItemTextCp932(security, FingerprintField, "AB:CD");
                Click(security, IDOK);
                ASSERT_EQ(boxes.size(), 1u);
                const std::string head = Sjis("「フィンガープリント」の値が正しくありません。\n") +
                                         "SmtpFingerprint: must be ";
                EXPECT_EQ(boxes[0].text.rfind(head, 0), 0u) << boxes[0].text;
                EXPECT_EQ(boxes[0].flags & MB_ICONMASK, static_cast<unsigned>(MB_ICONEXCLAMATION));
                EXPECT_EQ(GetFocus(), GetDlgItem(security, FingerprintField));
                EXPECT_TRUE(IsWindowVisible(security));
                boxes.clear();
                SetDlgItemTextW(security, UserField, L"jos\u00e9");
                SetItemTextCp932(security, FingerprintField, "");
                Click(security, IDOK);
                ASSERT_EQ(boxes.size(), 1u);
                EXPECT_EQ(boxes[0].text,
                          Sjis("「ユーザー名」には Shift_JIS で保存できない文字があります。"));
                EXPECT_EQ(GetFocus(), GetDlgItem(security, UserField));
                Click(security, IDCANCEL);
            });
        Click(mail, IDCANCEL);
    });
    EXPECT_EQ(Stored().SmtpSecurity, "none");
    EXPECT_EQ(Stored().SmtpUser, "");
}

// A typed password is kept with the mail dialog's OK (DPAPI, where only administrators read
// it), the small dialog then says so, and its removal takes it away again.
TEST_F(Win32MailDialogTest, ATypedPasswordIsKeptAndRemovedWithOk) {
    std::string reason;
    ASSERT_TRUE(StoreSmtpPassword("", reason)) << reason;
    StoreMailSettings(1);
    const struct {
        const char* name;
        bool remove;
        UiText stateBefore;
        StoredPassword::Outcome after;
    } steps[] = {
        {"typed", false, UiText::PasswordNotStored, StoredPassword::Outcome::Found},
        {"removed", true, UiText::PasswordStored, StoredPassword::Outcome::Missing},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        boxes.clear();
        WithMailDialog([&](HWND mail) {
            WhileModal(
                mail, [&] { Click(mail, AdvancedButton); },
                [&](HWND security) {
                    Choose(security, SecurityList, 1);
                    EXPECT_EQ(ItemTextCp932(security, PasswordState), Text(step.stateBefore));
                    EXPECT_EQ(IsEnabled(security, PasswordRemove), step.remove);
                    if (step.remove) {
                        Click(security, PasswordRemove);
                        EXPECT_EQ(ItemTextCp932(security, PasswordState),
                                  Text(UiText::PasswordToRemove));
                    } else {
                        SetItemTextCp932(security, PasswordField, "s3cret pass");
                    }
                    Click(security, IDOK);
                });
            Click(mail, IDOK);
        });
        EXPECT_EQ(boxes.size(), 0u) << (boxes.empty() ? "" : boxes[0].text);
        const StoredPassword kept = ReadSmtpPassword();
        EXPECT_EQ(kept.outcome, step.after) << kept.reason;
        EXPECT_EQ(kept.value, step.remove ? "" : "s3cret pass");
        dialog.reset();
    }
}

std::string Repeat(const std::string& part, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += part;
    }
    return text;
}

// The body takes no more than the store reads back: 65,534 CP932 bytes, CR LF counted as two,
// however many UTF-16 characters the field holds. (Lines of 63 bytes: the edit wraps a long
// line slowly.)
TEST_F(Win32MailDialogTest, TheBodyStopsAtWhatTheStoreReadsBack) {
    const std::string line = std::string(61, 'b') + "\r\n";
    const std::string lines = Repeat(line, 1040);  // 65,520 bytes
    const std::string wide = "b" + Repeat(Repeat(Sjis("あ"), 29) + "\r\n", 1200);
    const struct {
        const char* name;
        std::string pasted;
        std::string stored;
    } cases[] = {
        {"one-byte characters", Repeat(line, 1100), lines + std::string(14, 'b')},
        {"two-byte characters, the last one cut whole", wide, wide.substr(0, 65533)},
        {"a line break at the limit", lines + std::string(13, 'b') + "\r\nc",
         lines + std::string(13, 'b')},
        {"exactly the limit", lines + std::string(11, 'b') + "\r\nc",
         lines + std::string(11, 'b') + "\r\nc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StoreMailSettings(0);
        WithMailDialog([&](HWND mail) {
            SendDlgItemMessageW(mail, WithMailRadio, BM_CLICK, 0, 0);
            // As a paste does: the selection replaced.
            SendDlgItemMessageW(mail, BodyField, EM_SETSEL, 0, -1);
            const std::wstring pasted = ToWide(c.pasted);
            SendDlgItemMessageW(mail, BodyField, EM_REPLACESEL, TRUE,
                                reinterpret_cast<LPARAM>(pasted.c_str()));
            EXPECT_EQ(ItemTextCp932(mail, BodyField).size(), c.stored.size());
            Click(mail, IDOK);
        });
        EXPECT_EQ(boxes.size(), 0u);
        const Settings stored = Stored();
        EXPECT_EQ(stored.Body.size(), c.stored.size());
        EXPECT_EQ(stored.Body == c.stored, true) << "it reads back as saved";
        EXPECT_EQ(dialog->Record().Body == c.stored, true);
        dialog.reset();
    }
}

}  // namespace
}  // namespace tolvane
