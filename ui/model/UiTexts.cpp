#include "ui/model/UiTexts.h"

#include <array>

#include "os/CodePage.h"

namespace tolvane {

namespace {

// UTF-8 here, in the order of UiText; converted to CP932 once.
constexpr std::array kTexts{
    "IIS Tolvane",
    "チェック間隔(&I) ( 1～99999秒) :",
    "秒間隔でチェック",
    "チェックするポート(&P) ( 0～ 65535番) :",
    "接続テスト(&C)",
    "IIS 再起動時に F&TP サービスを開始する",
    "IIS 再起動時に S&MTP サービスを開始する",
    "IIS 再起動時に N&NTP サービスを開始する",
    "IIS 再起動時に MS&DTC を開始する",
    "STATUS",
    "開始(&R)",
    "停止(&O)",
    "保存(&S)",
    "隠す(&H)",
    "終了(&X)",
    "ﾌｧｲﾙ(&F)",
    "メール設定(&S)...",
    "ｽﾀｰﾄｱｯﾌﾟﾓｰﾄﾞ(&M)",
    "ﾏﾆｭｱﾙ(&M)",
    "ｵｰﾄ(&A)",
    "終了(&E)",
    "ﾍﾙﾌﾟ(&H)",
    "&About IISTolvane...",
    "ｳｲﾝﾄﾞｰを隠す(&H)",
    "準備OK",
    "設定を保存しました。",
    "設定を保存できませんでした。",
    "IIS Tolvane",
    "表示(&D)",
    "メール設定",
    "IIS 再起動時に管理者へメールを送信しない。(&U)",
    "IIS 再起動時に管理者へメールを送信する。(&W)",
    "IIS 再起動時に送信するメールの設定",
    "送信者(&F):",
    "宛先(&T):",
    "件名(&S):",
    "SMTPサーバー(&R):",
    "ポート(&P):",
    "メール送信テスト(&M)",
    "&OK",
    "ｷｬﾝｾﾙ(&C)",
    "About IIS Tolvane",
    "IIS Tolvane Version 2.1",
    "OK",
    "tolvanectl monitor (プロセス %1) がこのコンピューターを監視しています。",
    "IIS Tolvane (プロセス %1) が別のセッションでこのコンピューターを監視しています。",
    "サービス IIS Tolvane (IISTolvane、プロセス %1) がこのコンピューターを監視しています。",
    "サービス表に無いサービスがあります: 再起動はそのサービスに届きません",
    "読めない設定値があります (既定値を使います): ",
    "設定を保存できません: ",
    "管理者として実行してください",
    "サービスを開始・停止する権限がありません (%1): 管理者として実行してください",
    "「%1」には Shift_JIS で保存できない文字があります。",
    "本文",
    "詳細(&A)...",
    "メールの暗号化と認証",
    "暗号化(&E):",
    "なし",
    "STARTTLS",
    "TLS",
    "証明書の確認(&V):",
    "信頼できる証明書とホスト名",
    "フィンガープリント",
    "確認しない",
    "フィンガープリント(&F):",
    "ユーザー名(&U):",
    "パスワード(&P):",
    "保存されています",
    "保存されていません",
    "読めません: ",
    "入力したものに替えます",
    "保存時に削除します",
    "削除(&D)",
    "トークンのコマンド(&T):",
    "「%1」の値が正しくありません。\n",
    "パスワードを保存できませんでした。",
};
static_assert(kTexts.size() == static_cast<std::size_t>(UiText::PasswordNotSaved) + 1,
              "one text per UiText");

}  // namespace

const std::string& Text(UiText id) {
    static const auto converted = [] {
        std::array<std::string, kTexts.size()> texts;
        for (std::size_t i = 0; i < kTexts.size(); ++i) {
            texts[i] = Sjis(kTexts[i]);
        }
        return texts;
    }();
    return converted[static_cast<std::size_t>(id)];
}

namespace {

std::string WithArgument(UiText id, const std::string& argument) {
    std::string text = Text(id);
    text.replace(text.find("%1"), 2, argument);
    return text;
}

}  // namespace

std::string LabelName(UiText label) {
    const std::string& text = Text(label);
    // "(&F):" is ASCII, and no CP932 trail byte is "(".
    return text.substr(0, text.find("(&"));
}

std::string TextNotStorable(UiText label) {
    return WithArgument(UiText::TextNotStorable, LabelName(label));
}

std::string MonitoredByTolvanectl(long pid) {
    return WithArgument(UiText::MonitoredByTolvanectl, std::to_string(pid));
}

std::string MonitoredByWindowElsewhere(long pid) {
    return WithArgument(UiText::MonitoredByWindowElsewhere, std::to_string(pid));
}

std::string ServicesNotControllable(const std::string& names) {
    return WithArgument(UiText::ServicesNotControllable, names);
}

std::string MonitoredByService(long pid) {
    return WithArgument(UiText::MonitoredByService, std::to_string(pid));
}

}  // namespace tolvane
