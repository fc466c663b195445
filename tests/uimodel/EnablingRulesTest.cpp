#include <gtest/gtest.h>

#include <algorithm>

#include "ui/model/CommandId.h"
#include "ui/model/EnablingRules.h"

namespace tolvane {
namespace {

struct StateCase {
    const char* name;
    std::uint32_t stopped, cycleBusy, testIdle;
    bool settingsEnabled;  // Start, Exit, test, Save, mail settings, fields, check boxes
    bool waitingEnabled;   // Stop, Hide, window menu's Hide
    bool menusEnabled;     // menu bar items mail settings, Exit and the start-up modes
};

constexpr StateCase kStates[] = {
    {"stopped", 1, 1, 1, true, false, true},
    {"connection test running", 1, 1, 0, false, false, true},
    {"started, first check not ended", 0, 1, 1, false, false, true},
    {"running, waiting between checks", 0, 0, 1, false, true, false},
    {"stopped while waiting", 1, 0, 1, true, true, false},
};

constexpr int kSettingsCommands[] = {StartCommand,
                                     ExitCommand,
                                     ConnectionTestCommand,
                                     SaveCommand,
                                     MailSettingsCommand,
                                     PortField,
                                     IntervalField,
                                     FtpCheck,
                                     SmtpCheck,
                                     MsdtcCheck,
                                     NntpCheck};
constexpr int kAlwaysCarriedOut[] = {AboutCommand, ShowCommand, AutoModeCommand, ManualModeCommand,
                                     IconControlId};

TEST(EnablingRulesTest, EachStateEnablesWhatItsRuleSays) {
    for (const StateCase& state : kStates) {
        SCOPED_TRACE(state.name);
        const CycleFlags cycle{state.stopped, state.cycleBusy, state.testIdle};
        for (int id : kSettingsCommands) {
            EXPECT_EQ(CommandEnabled(id, cycle), state.settingsEnabled) << id;
        }
        for (int id : {StopCommand, HideCommand}) {
            EXPECT_EQ(CommandEnabled(id, cycle), state.waitingEnabled) << id;
        }
        EXPECT_EQ(HideWindowItemEnabled(cycle), state.waitingEnabled);
        for (int id : kAlwaysCarriedOut) {
            EXPECT_TRUE(CommandEnabled(id, cycle)) << id;
        }
        EXPECT_TRUE(MenuItemEnabled(AboutCommand, cycle));
        for (int id : {MailSettingsCommand, ExitCommand, AutoModeCommand, ManualModeCommand}) {
            EXPECT_EQ(MenuItemEnabled(id, cycle), state.menusEnabled) << id;
        }
    }
}

TEST(EnablingRulesTest, EveryRuledControlIsListedForTheRefresh) {
    const auto ruled = RuledCommands();
    for (int id : kSettingsCommands) {
        EXPECT_NE(std::ranges::find(ruled, id), ruled.end()) << id;
    }
    for (int id : {StopCommand, HideCommand}) {
        EXPECT_NE(std::ranges::find(ruled, id), ruled.end()) << id;
    }
    for (int id : kAlwaysCarriedOut) {
        EXPECT_EQ(std::ranges::find(ruled, id), ruled.end()) << id;
    }
}

}  // namespace
}  // namespace tolvane
