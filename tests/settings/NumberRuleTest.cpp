// The one reading of a number setting, toolkit-free, against the table that the windows and
// tolvanectl are tested with as well.
#include <gtest/gtest.h>

#include "settings/NumberRule.h"
#include "settings/Settings.h"
#include "tests/support/NumberCases.h"

namespace tolvane {
namespace {

TEST(NumberRuleTest, ReadsEachTextOfTheTableByItsSettingsRule) {
    for (const test::NumberCase& c : test::NumberCases()) {
        SCOPED_TRACE(std::string(c.setting) + "=\"" + c.text + "\"");
        const SettingsField* field = FindSettingsField(c.setting);
        ASSERT_NE(field, nullptr);
        const NumberReading reading = ReadNumber(c.text, field->rule);
        EXPECT_EQ(reading.accepted, c.accepted);
        EXPECT_EQ(reading.message, c.accepted ? "" : c.message);
        if (reading.isNumber) {
            EXPECT_EQ(reading.value, c.value);
        }
    }
}

// Every number of the record has a rule, and each rule admits its own default.
TEST(NumberRuleTest, EveryNumberHasARuleThatAdmitsItsDefault) {
    const Settings defaults;
    for (const SettingsField& field : kSettingsFields) {
        if (field.number == nullptr) {
            continue;
        }
        SCOPED_TRACE(field.name);
        EXPECT_LT(field.rule.high, 0xFFFFFFFFu) << "no range given";
        EXPECT_TRUE(CheckNumber(defaults.*field.number, field.rule).accepted);
        EXPECT_EQ(&RuleOf(field.number), &field.rule);
    }
}

}  // namespace
}  // namespace tolvane
