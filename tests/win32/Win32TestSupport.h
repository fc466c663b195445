#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// As <windows.h> declares it, without bringing it (and its winsock.h) in.
struct HWND__;
typedef HWND__* HWND;

namespace tolvane::test {

// The path with backslashes, as the command interpreter wants it.
std::string WindowsPath(std::string path);

// Runs the command line through cmd.exe with its output (both streams) going to the file: a
// Wine program's output is read from a file, never a pipe, since Wine's helper processes keep
// inherited pipes open. The exit code, or -1 when nothing could be started.
int RunToFile(const std::string& commandLine, const std::string& outFile);

// Ends a process at once (TerminateProcess), as a kill does.
void EndProcess(long pid);

// Removes HKEY_CLASSES_ROOT\Zr.ClassDlg.1 with everything under it.
void DeleteSettingsKey();
// Stores settings that check `port` every second, with a restart of W3SVC alone (no FTP or SMTP
// service).
void StoreSecondlyChecksOf(std::uint16_t port);
// Makes Zr.ClassDlg.1 anew as a volatile key, under which the lasting settings key cannot be
// made: every store operation then fails. DeleteSettingsKey undoes it.
void MakeSettingsKeyUncreatable();

// One value of HKEY_CLASSES_ROOT\Zr.ClassDlg.1\Setting through the wide-character calls, as
// any other program reads and writes it: REG_SZ texts; "<unreadable>" when it cannot be read.
std::wstring ReadSettingText(const wchar_t* name);
void WriteSettingText(const wchar_t* name, const std::wstring& text);
void DeleteSettingValue(const wchar_t* name);
// Any type, as regedit or another program may leave it.
void WriteSettingValue(const wchar_t* name, unsigned long type, const std::string& data);
// A REG_DWORD value; -1 when it is missing or of another type.
long long ReadSettingNumber(const wchar_t* name);
// Gives Zr.ClassDlg.1 and its Setting key a security that lets everyone read them and nobody
// change them, as a key made elevated is to a standard user; false undoes it.
bool MakeSettingsKeyReadOnly(bool readOnly);

// HKEY_CLASSES_ROOT\CDONTS.NewMail, as the IIS SMTP service registers it (only the key).
void RegisterMailObject();
void UnregisterMailObject();

// Starts a program from a UTF-8 command line (as Explorer starts one in a folder of any name);
// the process id, or -1.
long StartUtf8(const std::string& commandLine);
// Runs the UTF-8 command line through cmd.exe with both streams going to the file; the exit code.
int RunUtf8ToFile(const std::string& commandLine, const std::string& outFile);

// The first top-level window of the process that `matches` takes.
HWND WindowOf(long pid, const std::function<bool(HWND)>& matches);
// A visible message box (dialog class "#32770") of the process.
HWND MessageBoxOf(long pid);
// A window's text, CP932.
std::string TextOf(HWND window);

// "reg query" of the settings key, as its text.
std::string QuerySettingsKey(const std::string& scratchFolder);

}  // namespace tolvane::test
