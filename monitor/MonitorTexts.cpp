#include "monitor/MonitorTexts.h"

#include "os/CodePage.h"

namespace tolvane::texts {

#define TOLVANE_TEXT(Name, Utf8)                    \
    const std::string& Name() {                     \
        static const std::string text = Sjis(Utf8); \
        return text;                                \
    }

TOLVANE_TEXT(Checking, "確認中 ...")
TOLVANE_TEXT(CheckStep1, "確認 ")
TOLVANE_TEXT(CheckStep2, "確認  ")
TOLVANE_TEXT(CheckOk, "  OK")
TOLVANE_TEXT(TestSucceeded, "接続テストに成功しました。")
TOLVANE_TEXT(TestFailed, "接続テストに失敗しました。")
TOLVANE_TEXT(RestartBegins, "接続できませんでした IISの再起動を開始します")
TOLVANE_TEXT(Restarted, "IISを再起動しました")
TOLVANE_TEXT(RestartedStatus, "IISを再起動しました  ")
TOLVANE_TEXT(MailFailed, "メールが送信出来ませんでした　理由：")
TOLVANE_TEXT(CommandSkipped, "コマンドを実行しませんでした（システムフォルダーにありません）: ")
TOLVANE_TEXT(CommandEnded, "コマンドを終了しました（5分たっても終わりません）: ")

#undef TOLVANE_TEXT

}  // namespace tolvane::texts
