#pragma once

#include <string>

namespace tolvane::mailtexts {

// The mail subsystem's own texts, CP932.
const std::string& CannotConnect();  // "ホストに接続できません。"
const std::string& NoReply();        // "ホストからの応答がありません。"
const std::string& CannotSend();     // "コマンドが送信できませんでした。"
const std::string& LineBreakInAddress();  // "メールアドレスに改行を含めることはできません。"
const std::string& ScriptFailed();  // "スクリプトを実行できませんでした。"
// Why, after ScriptFailed: current Windows versions have no CDONTS.
const std::string& MailObjectNotRegistered();  // "（CDONTS.NewMail が登録されていません。SMTPサーバーを設定してください）"
const std::string& MailObjectNotCreated();  // "（CDONTS.NewMail を作成できません。SMTPサーバーを設定してください）"

// TLS and authentication.
const std::string& NoStartTls();  // "サーバーが STARTTLS を提供していません。"
const std::string& AuthNeedsTls();  // "SmtpUser の認証には TLS が必要です (SmtpSecurity を starttls か tls に)。"
const std::string& NoAuthMechanism();  // "使用できる AUTH 方式をサーバーが提供していません。"
const std::string& PasswordMissing();  // "SMTP のパスワードが設定されていません。"
const std::string& FingerprintInvalid();  // "SmtpFingerprint が SHA-256 の指紋 (16進数64桁) ではありません。"
const std::string& TokenCommandNotStarted();  // "SmtpTokenCommand を実行できません。"
const std::string& TokenCommandFailed();  // "SmtpTokenCommand が失敗しました。終了コード: "
const std::string& TokenCommandTimedOut();  // "SmtpTokenCommand が時間内に終わりませんでした。"
const std::string& TokenCommandEmpty();  // "SmtpTokenCommand がトークンを出力しませんでした。"
// After a reason, and after the send test's success, with SmtpVerify=none.
const std::string& NotVerified();  // "（サーバーの証明書は検証されていません: SmtpVerify=none）"

// The send test's messages, shared by the mail settings dialog and tolvanectl.
const std::string& AddressMissing();  // "送信者か宛先が入力されていません。"
const std::string& TestMailSent();  // "メールを送信しました。送信したメールを確認して下さい。"
const std::string& TestMailFailed();  // "メールが送信出来ません。設定を見直して下さい。\n"

}  // namespace tolvane::mailtexts
