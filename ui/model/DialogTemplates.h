#pragma once

// Where the templates place each control, in dialog units (x, y, width, height), and the size
// of each dialog: the resource script and the Qt dialogs lay out from the same numbers. Defines
// only, as the resource compiler reads no C++.

#define SIZE_MAIN_WINDOW 223, 135
#define SIZE_ABOUT_DIALOG 183, 39
#define SIZE_MAIL_DIALOG 207, 206
#define SIZE_SECURITY_DIALOG 232, 148

#define AT_INTERVAL_LABEL 5, 6, 98, 8
#define AT_INTERVAL_FIELD 121, 4, 24, 14
#define AT_INTERVAL_UNIT 158, 7, 57, 8
#define AT_PORT_LABEL 5, 26, 114, 8
#define AT_PORT_FIELD 121, 23, 24, 14
#define AT_CONNECTION_TEST 156, 24, 58, 14
#define AT_FTP 4, 41, 142, 10
#define AT_SMTP 4, 54, 142, 10
#define AT_NNTP 4, 67, 142, 10
#define AT_MSDTC 4, 80, 142, 10
#define AT_ICON_CONTROL 172, 52, 24, 26
#define AT_STATUS_LINE 5, 95, 213, 12
#define AT_START 4, 115, 36, 14
#define AT_STOP 48, 115, 36, 14
#define AT_SAVE 93, 115, 36, 14
#define AT_HIDE 138, 115, 36, 14
#define AT_EXIT 182, 115, 36, 14
#define AT_ABOUT_ICON 7, 6, 20, 20
#define AT_ABOUT_VERSION 35, 9, 91, 8
#define AT_ABOUT_OK 127, 6, 50, 14
#define AT_MAIL_OFF 6, 2, 161, 10
#define AT_MAIL_ON 6, 15, 156, 10
#define AT_MAIL_GROUP 2, 30, 202, 155
#define AT_MAIL_FROM_LABEL 8, 42, 34, 8
#define AT_MAIL_FROM 43, 40, 158, 12
#define AT_MAIL_TO_LABEL 8, 56, 34, 10
#define AT_MAIL_TO 43, 55, 158, 12
#define AT_MAIL_SUBJECT_LABEL 8, 71, 34, 8
#define AT_MAIL_SUBJECT 43, 69, 158, 12
#define AT_MAIL_BODY 6, 85, 195, 63
#define AT_MAIL_SMTP_LABEL 6, 153, 57, 8
#define AT_MAIL_SMTP 65, 152, 79, 12
#define AT_MAIL_SMTP_PORT_LABEL 147, 153, 30, 8
#define AT_MAIL_SMTP_PORT 177, 151, 24, 12
#define AT_MAIL_SEND_TEST 128, 168, 74, 14
#define AT_MAIL_OK 33, 189, 60, 14
#define AT_MAIL_CANCEL 115, 189, 60, 14
// Beside the send test, in the group's free space left of it.
#define AT_MAIL_ADVANCED 50, 168, 74, 14
// A drop-down list's place without its height: shown one line high, its list dropping below.
#define CHOICE_HEIGHT 12
#define CHOICE_LIST_HEIGHT 60
// The small dialog of the mail's TLS and authentication.
#define AT_SECURITY_LABEL 6, 8, 84, 8
#define AT_SECURITY_CHOICE 92, 6, 134
#define AT_VERIFY_LABEL 6, 24, 84, 8
#define AT_VERIFY_CHOICE 92, 22, 134
#define AT_FINGERPRINT_LABEL 6, 40, 84, 8
#define AT_FINGERPRINT 92, 38, 134, 12
#define AT_SMTP_USER_LABEL 6, 56, 84, 8
#define AT_SMTP_USER 92, 54, 134, 12
#define AT_SMTP_PASSWORD_LABEL 6, 72, 84, 8
#define AT_SMTP_PASSWORD 92, 70, 134, 12
#define AT_PASSWORD_STATE 92, 86, 92, 16
#define AT_PASSWORD_REMOVE 188, 86, 38, 14
#define AT_TOKEN_COMMAND_LABEL 6, 108, 84, 8
#define AT_TOKEN_COMMAND 92, 106, 134, 12
#define AT_SECURITY_OK 56, 128, 56, 14
#define AT_SECURITY_CANCEL 120, 128, 56, 14
