// The Utilities menu: its items and check marks, its commands, and the
// connection choice behind them.
#include "AlgFixture.h"

#include "guilib/MenuEx.h"

#include <map>

namespace {

using namespace dulmtest;
using namespace dulm;

// A connection that counts its Connect calls.
class CountingConnection final : public CConnectI2C {
public:
    explicit CountingConnection(int* connects) : connects_(connects) {}
    int32_t Connect() override { return ++*connects_; }

private:
    int* connects_;
};

// The editor, scripted: the menu answer and the command-list window.
class ScriptedEditor final : public CPeqEditorServices {
public:
    long choice = -1;
    std::vector<std::vector<KCMenuEx::Item>> shown;
    bool commander = false;
    int popSettings = 0;
    bool PopUpMenu(KCMenuEx& menu, long& selection) override {
        shown.push_back(menu.GetItems());
        selection = choice;
        return choice >= 0;
    }
    bool IsCommanderVisible() override { return commander; }
    void ShowCommander(bool show) override { commander = show; }
    bool RunPopSettings(cPEQ_ALG&, SPopSettingsValues&) override {
        ++popSettings;
        return false;
    }
};

class UtilitiesTest : public AlgTest {
protected:
    void SetUp() override {
        alg = std::make_unique<cPEQ_ALG>(nullptr, container, true, clock, [this](int32_t type) {
            ++made[type];
            return std::make_unique<CountingConnection>(&connects);
        });
        ASSERT_EQ(alg->FinishCreate(), 0);
        alg->SetEditorServices(editor);
    }
    // Presses the tool-bar button `name` with the menu answering `choice`.
    void Press(const std::string& name, long choice) {
        editor->choice = choice;
        alg->ActivatePluginSpecificToolBar(name);
    }
    std::vector<std::string> Checked() const {
        std::vector<std::string> out;
        for (const KCMenuEx::Item& item : editor->shown.back())
            if (item.checked)
                out.push_back(item.title);
        return out;
    }

    std::shared_ptr<ScriptedEditor> editor = std::make_shared<ScriptedEditor>();
    std::map<int32_t, int> made;
    int connects = 0;
};

TEST_F(UtilitiesTest, MenuItemsInOrderAndOnlyTheExactButtonNameOpensIt) {
    for (const char* other : {"utilities", "Utilities ", "Utilitie", ""})
        Press(other, -1);
    EXPECT_TRUE(editor->shown.empty());
    Press("Utilities", -1);
    ASSERT_EQ(editor->shown.size(), 1u);
    const std::vector<std::pair<std::string, short>> expected = {
        {"Soft Reset", 0},
        {"", -1},
        {"Set Connection to Terovan Device", 7},
        {"Set Connection to Dimax Device", 5},
        {"Set Connection to Terovan Device (Debug)", 6},
        {"", -1},
        {"POP Settings...", 8},
        {"Show Commander", 9},
        {"Trace I2C", 10}};
    const auto& items = editor->shown[0];
    ASSERT_EQ(items.size(), expected.size());
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].title, expected[i].first) << i;
        EXPECT_EQ(items[i].command, expected[i].second) << i;
        EXPECT_EQ(items[i].separator, expected[i].second == -1) << i;
    }
    // The default choice is the Terovan device; the none connection traces.
    EXPECT_EQ(Checked(),
              (std::vector<std::string>{"Set Connection to Terovan Device", "Trace I2C"}));
    // Commands outside 0..10 do nothing.
    Press("Utilities", 11);
    EXPECT_TRUE(made.empty());
}

TEST_F(UtilitiesTest, ChoosingDimaxWhileOfflineRecordsItAndConnectivityCreatesIt) {
    Press("Utilities", 5);
    EXPECT_TRUE(made.empty()); // the none connection stands in
    EXPECT_EQ(alg->CurrentConnectionType(), cPEQ_ALG::kConnectionNone);
    EXPECT_EQ(alg->ChosenConnectionType(), 0);
    Press("Utilities", -1);
    EXPECT_EQ(Checked(), (std::vector<std::string>{"Set Connection to Dimax Device", "Trace I2C"}));

    alg->SetParamRealWorld(PARAM_CONNECTIVITY_ON_OFF, 1);
    EXPECT_EQ(made[0], 1);
    EXPECT_EQ(alg->CurrentConnectionType(), 0);

    // The connection in use again: connected again, not made again.
    const int before = connects;
    Press("Utilities", 5);
    EXPECT_EQ(made[0], 1);
    EXPECT_EQ(connects, before + 1);

    // Another device while online replaces it.
    Press("Utilities", 7);
    EXPECT_EQ(made[2], 1);
    EXPECT_EQ(alg->CurrentConnectionType(), 2);
    Press("Utilities", -1);
    // No device answers the counting connection: detection falls back to the
    // none connection, which traces.
    EXPECT_EQ(Checked(),
              (std::vector<std::string>{"Set Connection to Terovan Device", "Trace I2C"}));
}

TEST_F(UtilitiesTest, CommanderPopSettingsAndTraceCommands) {
    Press("Utilities", 9);
    EXPECT_TRUE(editor->commander);
    Press("Utilities", -1);
    EXPECT_EQ(Checked(), (std::vector<std::string>{"Set Connection to Terovan Device",
                                                   "Show Commander", "Trace I2C"}));
    Press("Utilities", 9);
    EXPECT_FALSE(editor->commander);
    Press("Utilities", 10);
    EXPECT_EQ(alg->Connection().GetTrace(), 0);
    Press("Utilities", 10);
    EXPECT_EQ(alg->Connection().GetTrace(), 1);
    Press("Utilities", 8);
    EXPECT_EQ(editor->popSettings, 1);
}

} // namespace
