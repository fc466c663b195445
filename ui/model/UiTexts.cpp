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
    "送信者か宛先が入力されていません。",
    "メールを送信しました。送信したメールを確認して下さい。",
    "メールが送信出来ません。設定を見直して下さい。\n",
    "About IIS Tolvane",
    "IIS Tolvane Version 2.1",
    "OK",
    "tolvanectl monitor (プロセス %1) がこのコンピューターを監視しています。",
    "サービス表が無いか空です: 再起動はサービスに届きません",
};
static_assert(kTexts.size() == static_cast<std::size_t>(UiText::NoServicesMap) + 1,
              "one text per UiText");

bool IsLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

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

std::string MonitoredByTolvanectl(long pid) {
    std::string text = Text(UiText::MonitoredByTolvanectl);
    text.replace(text.find("%1"), 2, std::to_string(pid));
    return text;
}

std::string CutCp932(const std::string& text, std::size_t maxBytes) {
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t width =
            IsLeadByte(static_cast<unsigned char>(text[end])) && end + 1 < text.size() ? 2 : 1;
        if (end + width > maxBytes) {
            break;
        }
        end += width;
    }
    return text.substr(0, end);
}

std::string TrimBlanks(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

}  // namespace tolvane
