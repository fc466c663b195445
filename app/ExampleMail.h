#pragma once

#include "os/CodePage.h"

namespace tolvane {

// The mail values that the pictures of the mail settings dialog show, on Linux and on Windows.
template <typename MailValues>
void FillExampleMail(MailValues& mail) {
    mail.WithMail = 1;
    mail.From = "webmaster@example.jp";
    mail.To = "admin@example.jp;operator@example.jp";
    mail.Subject = Sjis("Webサーバーを再起動しました");
    mail.Body = Sjis(
        "IIS Tolvane "
        "がWebサーバーの停止を検出し、再起動しました。\r\n再起動ログを確認して下さい。");
    mail.Smtp = "mail.example.jp";
    mail.SmtpPort = 25;
}

}  // namespace tolvane
