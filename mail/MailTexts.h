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

// The send test's messages, shared by the mail settings dialog and tolvanectl.
const std::string& AddressMissing();  // "送信者か宛先が入力されていません。"
const std::string& TestMailSent();  // "メールを送信しました。送信したメールを確認して下さい。"
const std::string& TestMailFailed();  // "メールが送信出来ません。設定を見直して下さい。\n"

}  // namespace tolvane::mailtexts
