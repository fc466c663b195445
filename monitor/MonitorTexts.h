#pragma once

#include <cstdint>
#include <string>

#include "os/CommandRunner.h"

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
// The log line after a command that did not succeed, one wording per way it ended:
// "コマンドが失敗しました（終了コード 2）: command.com /C net start w3svc".
std::string CommandFailed(const CommandOutcome& outcome, const std::string& commandLine);
// How a command that did not succeed ended: "終了コード 2" and the like.
std::string HowCommandEnded(const CommandOutcome& outcome);
// "応答が戻りました（再起動の開始から 75 秒）"
std::string Recovered(std::uint64_t seconds);
// A failed check short of the threshold: "応答がありません（2/3）".
std::string NoAnswer(std::uint32_t failures, std::uint32_t threshold);
// A failed check within the grace after a restart: "応答がありません（再起動後の猶予中）".
const std::string& NoAnswerInGrace();
// "再起動を中止しました（60 分間に 3 回）"
std::string RestartsStopped(std::uint32_t minutes, std::uint32_t restarts);

// The lines of the report mail after a recovery or a stop of restarts.
std::string ReportCheck(const std::string& reason);  // "失敗した確認: refused"
const std::string& ReportCommands();                 // "再起動のコマンド:"
// "  command.com /C net start w3svc: 終了コード 2（1.0 秒）"
std::string ReportCommand(const std::string& commandLine, const CommandOutcome& outcome);
const std::string& ReportNoRecovery();  // "応答はまだ戻っていません。"

}  // namespace tolvane::texts
