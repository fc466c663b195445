// tolvanectl: the headless companion of the desktop program, for servers and scripts.
#include <clocale>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/ConsoleHost.h"
#include "app/ServiceCommand.h"
#include "app/ServiceNotifier.h"
#include "app/StartupReport.h"
#include "app/StoredSettings.h"
#include "mail/SendNotificationMail.h"
#include "mail/SendTestMail.h"
#include "monitor/MonitorCycle.h"
#include "monitor/RestartLog.h"
#include "os/CodePage.h"
#include "os/Console.h"
#include "os/File.h"
#include "os/InstanceMarker.h"
#include "registry/Registry.h"
#include "settings/SettingsStore.h"
#include "settings/SettingsText.h"
#include "settings/SmtpPassword.h"

using namespace tolvane;

namespace {

constexpr int kExitRefused = 2;
constexpr int kExitMonitoredElsewhere = 3;

// The commands; what ends the monitor, the services map and the output's encoding are the
// platform's own.
std::string Usage() {
    const std::string map = ServicesMapLine().empty() ? "" : ", the services map";
    return "usage: tolvanectl COMMAND\n"
           "  monitor [--verbose]     start monitoring with the stored settings until " +
           MonitorEndedBy() +
           ";\n"
           "                          prints the changes of state and the restart log's lines\n"
           "                          (--verbose: every check's status lines) and takes changed\n"
           "                          settings at the next check\n"
           "  probe                   one connection test; exit 0 when the port answers, 1 when "
           "not\n"
           "  settings                print the stored settings as Name=value\n"
           "  set Name=value ...      store settings (\\\\, \\r and \\n escape texts);\n"
           "                          SmtpPassword=- reads the password from standard input\n"
           "  log                     print the restart log\n"
           "  send-test-mail          send a test mail with the stored mail settings; exit 0 when "
           "sent\n"
           "  paths                   print where the settings" +
           map + " and the restart log are\n" + ServiceUsage() +
           "  --help, /?, --version   this text; the version\n" + OutputNote();
}

int Refuse(const std::string& message) {
    WriteText(stderr, "tolvanectl: " + message + "\n");
    return kExitRefused;
}

// The stored numbers the command uses and the added values, checked as at every start; the
// refusal's exit code, or 0.
int RefuseOutOfRange(const Settings& settings, std::initializer_list<const char*> names) {
    const std::string refusal = FirstRefusal(settings, names);
    return refusal.empty() ? 0 : Refuse(refusal);
}

// The copy that monitors the machine, for people.
std::string Who(const InstanceMarker::Holder& holder) {
    const std::string pid = std::to_string(holder.pid);
    switch (holder.program) {
        case InstanceMarker::Program::Window:
            return "the window of tolvane (process " + pid + ")";
        case InstanceMarker::Program::Tolvanectl:
            return "tolvanectl monitor (process " + pid + ")";
        case InstanceMarker::Program::Service:
            return "the service IISTolvane (process " + pid + ")";
        case InstanceMarker::Program::Unknown:
            break;
    }
    return "another copy of tolvane";
}

// Says which copy already monitors the machine.
int RefuseSecondMonitor(const std::string& markerName) {
    WriteText(stderr, "tolvanectl: " + Who(InstanceMarker::FindHolder(markerName)) +
                          " already monitors this machine\n");
    return kExitMonitoredElsewhere;
}

// What the copy that monitors the machine does with a change `set` stored.
std::string WhenTaken(const InstanceMarker::Holder& holder) {
    const std::string monitor = "takes the change at its next check";
    const std::string window =
        "keeps the values in its fields and writes its interval, port and check boxes back at "
        "its next Save";
    switch (holder.program) {
        case InstanceMarker::Program::Tolvanectl:
        case InstanceMarker::Program::Service:
            return Who(holder) + " " + monitor;
        case InstanceMarker::Program::Window:
            return Who(holder) + " " + window;
        case InstanceMarker::Program::Unknown:
            break;
    }
    return Who(holder) + " runs: tolvanectl monitor " + monitor + "; the window " + window;
}

// `tolvanectl monitor`, and the same monitor as the Windows service (`as` Service), whose
// events also go to `report`. `verbose`: every status line of every check, not only the changes.
int Monitor(bool verbose, InstanceMarker::Program as = InstanceMarker::Program::Tolvanectl,
            const EventReport& report = {}) {
    ConsoleHost::HoldEndingSignals();
    // First, before any child could inherit the manager's socket.
    ServiceNotifier notifier;
    RegistryHive hive(RegistryHive::ClassesRootPath());
    Settings settings;
    SettingsReload reload(hive, settings);
    if (const std::string refusal = FirstRefusal(settings, kMonitorNumbers); !refusal.empty()) {
        if (report) {
            report(CycleEvent::SettingsRefused, {Sjis(refusal)});
        }
        return Refuse(refusal);
    }
    // One monitor per machine, window or not; without a marker it runs unprotected, as the
    // window does.
    const std::string markerName = InstanceMarker::ProgramName();
    InstanceMarker marker(markerName);
    if (marker.State() == InstanceMarker::Claim::HeldByOther) {
        return RefuseSecondMonitor(markerName);
    }
    marker.Announce(as);
    std::fputs(ServicesMapNote("tolvanectl", settings).c_str(), stderr);
    RestartLog log(RealClock());
    ConsoleHost host(stdout);
    host.PrintEveryStatus(verbose);
    host.Attach(reload);
    host.Attach(log);
    CycleParts parts;
    parts.log = &log;
    parts.sendMail = NotificationMail();
    parts.report = report;
    MonitorCycle cycle(settings, host, parts);
    host.Attach(cycle);
    host.Attach(notifier);
    cycle.Open();
    cycle.Start();
    notifier.Ready();
    host.RunUntilSignalled();
    notifier.Stopping();
    return 0;
}

int Probe() {
    RegistryHive hive(RegistryHive::ClassesRootPath());
    Settings settings = LoadStored(hive);
    if (const int refused = RefuseOutOfRange(settings, {"Port"}); refused != 0) {
        return refused;
    }
    ConsoleHost host(stdout, false);
    MonitorCycle cycle(settings, host, CycleParts{});
    host.Attach(cycle);
    cycle.Open();
    const ConnectionTestResult result = cycle.ConnectionTest();
    WriteText(stdout, Cp932ToLocale(cycle.StatusText) + "\n");
    return result == ConnectionTestResult::Succeeded ? 0 : 1;
}

constexpr std::string_view kPasswordName = "SmtpPassword";

// Whether the password is there, never the password itself.
std::string PasswordText() {
    const StoredPassword password = ReadSmtpPassword();
    const std::string name(kPasswordName);
    switch (password.outcome) {
        case StoredPassword::Outcome::Found:
            return name + "=(set)";
        case StoredPassword::Outcome::Refused:
            return name + "=(refused: " + password.reason + ")";
        case StoredPassword::Outcome::Missing:
            break;
    }
    return name + "=";
}

int PrintSettings() {
    RegistryHive hive(RegistryHive::ClassesRootPath());
    const Settings settings = LoadStored(hive);
    for (const auto& field : kSettingsFields) {
        WriteText(stdout, SettingText(field, settings) + "\n");
    }
    for (const auto& field : kAddedSettingsFields) {
        WriteText(stdout, SettingText(field, settings) + "\n");
        if (field.text == &Settings::SmtpUser) {
            WriteText(stdout, PasswordText() + "\n");
        }
    }
    return 0;
}

// "SmtpPassword=-" (read from standard input later) or "SmtpPassword=" (remove); a password
// on the command line itself is refused, as every user sees it in the process list and the
// shell keeps it in its history. False with the refusal.
bool ReadPasswordAssignment(std::string_view value, std::optional<std::string>& password,
                            bool& fromInput, std::string& refusal) {
    const std::string name(kPasswordName);
    if (password || fromInput) {
        refusal = name + " is given twice";
    } else if (value == "-") {
        fromInput = true;
    } else if (value.empty()) {
        password.emplace();
    } else {
        refusal = name +
                  ": a password on the command line is seen in the process list and kept in the "
                  "shell's history; give " +
                  name + "=- and type it, or pipe it in";
    }
    return refusal.empty();
}

// The password from standard input, after everything else was checked.
bool ReadPasswordInput(std::optional<std::string>& password, std::string& refusal) {
    const std::string name(kPasswordName);
    std::string line;
    if (!ReadHiddenLine(name + ": ", line)) {
        refusal = name + ": no password was read from standard input";
    } else if (line.empty()) {
        refusal = name + ": the password read is empty; " + name + "= (empty) removes it";
    } else {
        password = std::move(line);
    }
    return refusal.empty();
}

int Set(const std::vector<std::string>& assignments) {
    if (assignments.empty()) {
        return Refuse("set needs at least one Name=value");
    }
    // Everything is checked before anything is written.
    std::vector<SettingChange> changes;
    std::optional<std::string> password;
    bool passwordFromInput = false;
    for (const auto& assignment : assignments) {
        SettingChange change;
        std::string refusal;
        const std::string_view text(assignment);
        if (text.substr(0, kPasswordName.size() + 1) == std::string(kPasswordName) + "=") {
            if (!ReadPasswordAssignment(text.substr(kPasswordName.size() + 1), password,
                                        passwordFromInput, refusal)) {
                return Refuse(refusal);
            }
            continue;
        }
        if (!ReadSettingAssignment(assignment, change, refusal)) {
            return Refuse(refusal);
        }
        changes.push_back(std::move(change));
    }
    if (std::string refusal; passwordFromInput && !ReadPasswordInput(password, refusal)) {
        return Refuse(refusal);
    }
    // First, as the one most likely refused (on Windows it needs an administrator): a refusal
    // leaves the settings as they were.
    if (std::string reason; password && !StoreSmtpPassword(*password, reason)) {
        Say("the SMTP password was not stored: " + reason);
        Say("nothing was stored");
        return 1;
    }
    if (changes.empty()) {
        return 0;
    }
    RegistryHive hive(RegistryHive::ClassesRootPath());
    Settings settings;
    SettingsStore store(hive);
    const int stored = store.UpdateSettings(settings, [&](Settings& record) {
        for (const auto& change : changes) {
            change.ApplyTo(record);
        }
    });
    ReportStore(
        store, hive, stored,
        stored != 0 ? "is overwritten with the value set or its default" : "is left as it is");
    if (stored == 0) {
        Say("nothing was stored");
        return 1;
    }
    if (const std::string markerName = InstanceMarker::ProgramName();
        InstanceMarker::IsHeld(markerName)) {
        Say("stored; " + WhenTaken(InstanceMarker::FindHolder(markerName)));
    }
    return 0;
}

// The mail settings dialog's send test: the same check of sender and recipients, the same
// dispatch, the same messages.
int SendTestMailCommand() {
    RegistryHive hive(RegistryHive::ClassesRootPath());
    const Settings settings = LoadStored(hive);
    std::string from = settings.From;
    std::string to = settings.To;
    MailSecurity security;
    CopyMailSecurityValues(settings, security);
    const TestMailResult result =
        tolvane::SendTestMail(from, to, settings.Subject, settings.Body, settings.Smtp,
                              settings.SmtpPort, security, NotificationMail());
    switch (result.outcome) {
        case TestMailResult::Outcome::AddressMissing:
            WriteText(stderr, Cp932ToLocale(result.message) + "\n");
            return kExitRefused;
        case TestMailResult::Outcome::NotSent:
            WriteText(stderr, Cp932ToLocale(result.message) + "\n");
            return 1;
        case TestMailResult::Outcome::Sent:
            break;
    }
    WriteText(stdout, Cp932ToLocale(result.message) + "\n");
    return 0;
}

int PrintLog() {
    RestartLog log(RealClock());
    std::string contents;
    if (!ReadWholeFile(log.Path(), contents)) {
        WriteText(stderr, "tolvanectl: no restart log at " + log.Path() + "\n");
        return 1;
    }
    WriteText(stdout, Cp932ToLocale(PrintableLog(contents)));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const std::vector<std::string> args = CommandArguments(argc, argv);
    const std::string command = args.size() > 1 ? args[1] : "";
    const std::vector<std::string> rest(args.begin() + (args.size() > 1 ? 2 : 1), args.end());
    if (command == "monitor" && (rest.empty() || (rest.size() == 1 && rest[0] == "--verbose"))) {
        return Monitor(!rest.empty());
    }
    if (command == "probe" && rest.empty()) {
        return Probe();
    }
    if (command == "settings" && rest.empty()) {
        return PrintSettings();
    }
    if (command == "set") {
        return Set(rest);
    }
    if (command == "log" && rest.empty()) {
        return PrintLog();
    }
    if (command == "send-test-mail" && rest.empty()) {
        return SendTestMailCommand();
    }
    if (command == "service" && !ServiceUsage().empty()) {
        return ServiceCommand(rest, [](const EventReport& report) {
            return Monitor(false, InstanceMarker::Program::Service, report);
        });
    }
    if (command == "paths" && rest.empty()) {
        WriteText(stdout, WhereThingsAre());
        return 0;
    }
    if ((command == "--help" || command == "/?") && rest.empty()) {
        WriteText(stdout, Usage());
        return 0;
    }
    if (command == "--version" && rest.empty()) {
        std::fputs(VersionLine("tolvanectl").c_str(), stdout);
        return 0;
    }
    WriteText(stderr, Usage());
    return kExitRefused;
}
