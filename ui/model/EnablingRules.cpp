#include "ui/model/EnablingRules.h"

#include <algorithm>
#include <array>

#include "ui/model/CommandId.h"

namespace tolvane {

namespace {

// Settings may be changed, saved and tested, and the program left, only while the monitor is
// stopped and no test runs; Stop and Hide work only while a running monitor waits between
// two checks.
enum class Rule { StoppedAndTestIdle, Waiting };
struct EnablingRule {
    int id;
    Rule rule;
};
constexpr EnablingRule kEnablingRules[] = {
    {StartCommand, Rule::StoppedAndTestIdle},
    {ExitCommand, Rule::StoppedAndTestIdle},
    {ConnectionTestCommand, Rule::StoppedAndTestIdle},
    {SaveCommand, Rule::StoppedAndTestIdle},
    {MailSettingsCommand, Rule::StoppedAndTestIdle},
    {PortField, Rule::StoppedAndTestIdle},
    {IntervalField, Rule::StoppedAndTestIdle},
    {FtpCheck, Rule::StoppedAndTestIdle},
    {SmtpCheck, Rule::StoppedAndTestIdle},
    {MsdtcCheck, Rule::StoppedAndTestIdle},
    {NntpCheck, Rule::StoppedAndTestIdle},
    {StopCommand, Rule::Waiting},
    {HideCommand, Rule::Waiting},
};

constexpr auto kRuledCommands = [] {
    std::array<int, std::size(kEnablingRules)> ids{};
    for (std::size_t i = 0; i < ids.size(); ++i) {
        ids[i] = kEnablingRules[i].id;
    }
    return ids;
}();

constexpr int kGreyedWhileWaiting[] = {MailSettingsCommand, ExitCommand, ManualModeCommand,
                                       AutoModeCommand};

}  // namespace

CycleFlags FlagsOf(const MonitorCycle& cycle) {
    return {cycle.Stopped(), cycle.CycleBusy(), cycle.TestIdle()};
}

bool CommandEnabled(int id, CycleFlags cycle) {
    for (const EnablingRule& rule : kEnablingRules) {
        if (rule.id == id) {
            return rule.rule == Rule::StoppedAndTestIdle ? cycle.stopped != 0 && cycle.testIdle != 0
                                                         : cycle.cycleBusy == 0;
        }
    }
    return true;
}

std::span<const int> RuledCommands() {
    return kRuledCommands;
}

std::span<const int> MenuItemsGreyedWhileWaiting() {
    return kGreyedWhileWaiting;
}

bool MenuItemEnabled(int id, CycleFlags cycle) {
    const bool greyable =
        std::ranges::find(kGreyedWhileWaiting, id) != std::end(kGreyedWhileWaiting);
    return !greyable || cycle.cycleBusy != 0;
}

bool HideWindowItemEnabled(CycleFlags cycle) {
    return cycle.cycleBusy == 0;
}

}  // namespace tolvane
