#pragma once

#include <string>

namespace tolvane::texts {

// The monitor's own status and log texts, CP932.
const std::string& Checking();       // "確認中 ..."
const std::string& CheckStep1();     // "確認 "
const std::string& CheckStep2();     // "確認  "
const std::string& CheckOk();        // "  OK"
const std::string& TestSucceeded();  // "接続テストに成功しました。"
const std::string& TestFailed();     // "接続テストに失敗しました。"
const std::string& RestartBegins();  // "接続できませんでした IISの再起動を開始します"
const std::string& Restarted();        // "IISを再起動しました"
const std::string& RestartedStatus();  // "IISを再起動しました  "
const std::string& MailFailed();       // "メールが送信出来ませんでした　理由："
// Before the command line: a command whose program is not in the system folder, and one
// ended after the runner's bound.
const std::string& CommandSkipped();  // "コマンドを実行しませんでした（システムフォルダーにありません）: "
const std::string& CommandEnded();    // "コマンドを終了しました（5分たっても終わりません）: "

}  // namespace tolvane::texts
