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
TOLVANE_TEXT(NoAnswerInGrace, "応答がありません（再起動後の猶予中）")
TOLVANE_TEXT(ReportCommands, "再起動のコマンド:")
TOLVANE_TEXT(ReportNoRecovery, "応答はまだ戻っていません。")

#undef TOLVANE_TEXT

namespace {

// How a command that did not succeed ended, in words; empty for a success.
std::string HowItEnded(const CommandOutcome& outcome) {
    switch (outcome.end) {
        case CommandEnd::Exited:
            // Windows' status codes are unsigned; negative ints would hide them.
            return "終了コード " + std::to_string(static_cast<std::uint32_t>(outcome.exitCode));
        case CommandEnd::NotStarted:
            return "開始できませんでした";
        case CommandEnd::Skipped:
            return "プログラムの場所が安全でないため実行しませんでした";
        case CommandEnd::EndedAtBound:
            return "時間の上限で終了させました";
    }
    return {};
}

}  // namespace

std::string CommandFailed(const CommandOutcome& outcome, const std::string& commandLine) {
    switch (outcome.end) {
        case CommandEnd::Exited:
            return Sjis("コマンドが失敗しました（" + HowItEnded(outcome) + "）: ") + commandLine;
        case CommandEnd::NotStarted:
            return Sjis("コマンドを開始できませんでした: ") + commandLine;
        case CommandEnd::Skipped:
            return Sjis("コマンドを実行しませんでした（システムフォルダーにありません）: ") +
                   commandLine;
        case CommandEnd::EndedAtBound:
            return Sjis("コマンドを終了しました（5分たっても終わりません）: ") + commandLine;
    }
    return commandLine;
}

std::string HowCommandEnded(const CommandOutcome& outcome) {
    return Sjis(HowItEnded(outcome));
}

std::string Recovered(std::uint64_t seconds) {
    return Sjis("応答が戻りました（再起動の開始から " + std::to_string(seconds) + " 秒）");
}

std::string NoAnswer(std::uint32_t failures, std::uint32_t threshold) {
    return Sjis("応答がありません（" + std::to_string(failures) + "/" + std::to_string(threshold) +
                "）");
}

std::string RestartsStopped(std::uint32_t minutes, std::uint32_t restarts) {
    return Sjis("再起動を中止しました（" + std::to_string(minutes) + " 分間に " +
                std::to_string(restarts) + " 回）");
}

std::string ReportCheck(const std::string& reason) {
    return Sjis("失敗した確認: ") + reason;
}

std::string ReportCommand(const std::string& commandLine, const CommandOutcome& outcome) {
    const std::uint32_t tenths = (outcome.durationMs + 50) / 100;
    const std::string duration =
        std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " 秒";
    const std::string how = outcome.Succeeded() ? "終了コード 0" : HowItEnded(outcome);
    return "  " + commandLine + Sjis(": " + how + "（" + duration + "）");
}

}  // namespace tolvane::texts
