#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "registry/Registry.h"
#include "settings/SettingsStore.h"
#include "tests/support/TestSupport.h"
#include "ui/model/UiTexts.h"
#include "ui/model/WindowSave.h"

namespace tolvane {
namespace {

// A window that records the steps; its "fields" hold one interval.
class RecordingWindow : public WindowSaveView {
public:
    explicit RecordingWindow(Settings& shown) : shown_(shown) {}

    bool ReadControls() override {
        steps.push_back("read");
        shown_.Interval = interval;
        return fieldAccepted;
    }
    void CheckStartupMode() override {
        steps.push_back(shown_.AutoStartupMode != 0 ? "checks auto" : "checks manual");
    }
    void HideSaveButton() override { steps.push_back("hide"); }
    void Message(bool information, const std::string& text,
                 const std::string& systemText) override {
        steps.push_back(std::string(information ? "info " : "warn ") + text);
        systemTexts.push_back(systemText);
    }

    std::uint32_t interval = 30;
    bool fieldAccepted = true;
    std::vector<std::string> steps;
    std::vector<std::string> systemTexts;

private:
    Settings& shown_;
};

// Save's steps. The store holds the automatic start-up mode, set beside the window (tolvanectl
// set): the window's record and its checks follow what was stored.
TEST(WindowSaveTest, SaveRunsItsStepsInOrder) {
    enum class Store { Writable, TakenByAFolder };
    struct Case {
        const char* name;
        bool fieldAccepted;
        Store store;
        std::vector<std::string> steps;
    };
    const Case cases[] = {
        {"stored",
         true,
         Store::Writable,
         {"read", "checks auto", "info " + Text(UiText::SettingsSaved), "hide"}},
        {"field refused", false, Store::Writable, {"read"}},
        {"store refused",
         true,
         Store::TakenByAFolder,
         {"read", "warn " + Text(UiText::SettingsNotSaved) + "\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        RegistryHive hive(dir.File("HKEY_CLASSES_ROOT.reg"));
        SettingsStore store(hive);
        if (c.store == Store::TakenByAFolder) {
            std::filesystem::create_directory(hive.Path());
        } else {
            ASSERT_EQ(store.SaveStartupMode(1), 1);
        }
        Settings shown;
        RecordingWindow window(shown);
        window.fieldAccepted = c.fieldAccepted;
        SaveFromWindow(window, store, shown);
        EXPECT_EQ(window.steps, c.steps);

        Settings stored;
        store.LoadSettings(stored);
        const bool saved = c.steps.back() == "hide";
        EXPECT_EQ(stored.Interval, saved ? 30u : Settings{}.Interval);
        EXPECT_EQ(shown.AutoStartupMode, saved ? 1u : 0u);
        if (c.store == Store::TakenByAFolder) {
            // The store's reason names the path in the system's text, apart from the CP932.
            ASSERT_EQ(window.systemTexts.size(), 1u);
            EXPECT_NE(window.systemTexts[0].find(hive.Path()), std::string::npos);
        }
    }
}

TEST(WindowSaveTest, TheStartupModeIsCheckedAndStoredAtOnce) {
    test::TempDir dir;
    RegistryHive hive(dir.File("HKEY_CLASSES_ROOT.reg"));
    SettingsStore store(hive);
    Settings shown;
    RecordingWindow window(shown);
    for (const std::uint32_t automatic : {1u, 0u}) {
        ChangeStartupMode(window, store, shown, automatic);
        Settings stored;
        store.LoadSettings(stored);
        EXPECT_EQ(shown.AutoStartupMode, automatic);
        EXPECT_EQ(stored.AutoStartupMode, automatic);
    }
    EXPECT_EQ(window.steps, (std::vector<std::string>{"checks auto", "checks manual"}));
}

}  // namespace
}  // namespace tolvane
