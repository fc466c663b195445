#include "mail/MailTexts.h"

#include "os/CodePage.h"

namespace tolvane::mailtexts {

#define TOLVANE_TEXT(Name, Utf8)                    \
    const std::string& Name() {                     \
        static const std::string text = Sjis(Utf8); \
        return text;                                \
    }

TOLVANE_TEXT(CannotConnect, "ホストに接続できません。")
TOLVANE_TEXT(NoReply, "ホストからの応答がありません。")
TOLVANE_TEXT(CannotSend, "コマンドが送信できませんでした。")
TOLVANE_TEXT(LineBreakInAddress, "メールアドレスに改行を含めることはできません。")
TOLVANE_TEXT(ScriptFailed, "スクリプトを実行できませんでした。")
TOLVANE_TEXT(MailObjectNotRegistered,
             "（CDONTS.NewMail が登録されていません。SMTPサーバーを設定してください）")
TOLVANE_TEXT(MailObjectNotCreated,
             "（CDONTS.NewMail を作成できません。SMTPサーバーを設定してください）")
TOLVANE_TEXT(NoStartTls, "サーバーが STARTTLS を提供していません。")
TOLVANE_TEXT(AuthNeedsTls,
             "SmtpUser の認証には TLS が必要です (SmtpSecurity を starttls か tls に)。")
TOLVANE_TEXT(NoAuthMechanism, "使用できる AUTH 方式をサーバーが提供していません。")
TOLVANE_TEXT(PasswordMissing, "SMTP のパスワードが設定されていません。")
TOLVANE_TEXT(FingerprintInvalid, "SmtpFingerprint が SHA-256 の指紋 (16進数64桁) ではありません。")
TOLVANE_TEXT(TokenCommandNotStarted, "SmtpTokenCommand を実行できません。")
TOLVANE_TEXT(TokenCommandFailed, "SmtpTokenCommand が失敗しました。終了コード: ")
TOLVANE_TEXT(TokenCommandTimedOut, "SmtpTokenCommand が時間内に終わりませんでした。")
TOLVANE_TEXT(TokenCommandEmpty, "SmtpTokenCommand がトークンを出力しませんでした。")
TOLVANE_TEXT(NotVerified, "（サーバーの証明書は検証されていません: SmtpVerify=none）")
TOLVANE_TEXT(AddressMissing, "送信者か宛先が入力されていません。")
TOLVANE_TEXT(TestMailSent, "メールを送信しました。送信したメールを確認して下さい。")
TOLVANE_TEXT(TestMailFailed, "メールが送信出来ません。設定を見直して下さい。\n")

#undef TOLVANE_TEXT

}  // namespace tolvane::mailtexts
