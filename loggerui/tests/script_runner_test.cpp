// The Script Helper's lines run through the logger's transfer against the
// simulated board with its EEPROM, and the page's list rules.
#include "loggerui/ScriptRunner.h"

#include "SimBus.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace loggerui;
using busgate::testing::SimBus;
using busgate::testing::SimBusConfig;

namespace {

constexpr uint8_t kAbsentSlave = 0x22;

struct Row {
    const wchar_t* action;
    uint8_t slave;
    const wchar_t* length;
    const wchar_t* data;
};

class ScriptRun : public ::testing::Test {
protected:
    ScriptRun() : sim(WithEeprom()) {
        sim.OpenBridgeOnly();
        SetUpScriptList(list);
    }
    static SimBusConfig WithEeprom() {
        SimBusConfig c;
        c.peripherals = u2csim::PeripheralConfig{};
        c.peripherals->eeprom.busyPolls = 0;
        return c;
    }
    void Add(const Row& r) {
        DefaultLine line;
        line.action = ActionNumber(r.action);
        line.slaveId = r.slave;
        line.dataLength = std::stoi(r.length);
        line.data = r.data;
        InsertDefaultLine(list, list.RowCount(), line);
    }
    ScriptTransfer Transfer() {
        return [this](int direction, uint8_t slave, uint32_t length, uint8_t* data) {
            return sim.bus->LoggerTransfer(direction, slave, length, data);
        };
    }
    std::optional<ListModel::Colour> Colour(int row, int column) const {
        return list.GetCellColor(row, column);
    }

    SimBus sim;
    ListModel list;
};

TEST_F(ScriptRun, AReadShowsTheBytesItReadOnGreen) {
    Add({L"Write", u2csim::kEepromAddress, L"3", L"0x00, 0x12, 0x0A"});
    Add({L"Write", u2csim::kEepromAddress, L"1", L"0x00"});
    Add({L"Read", u2csim::kEepromAddress, L"2", L"0, 0"});
    EXPECT_EQ(RunLines(list, {0, 1, 2}, true, Transfer()), 1);
    EXPECT_EQ(list.GetCellText(2, kColData), L"0x12, 0xA");
    ASSERT_TRUE(Colour(2, kColData));
    EXPECT_EQ(Colour(2, kColData)->background, kReadOkColour);
    // The writes went out with their bytes.
    const auto writes = sim.Writes(u2csim::kEepromAddress);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0], (u2c::Bytes{0x00, 0x12, 0x0A}));
    // A refresh takes the run's colours away and keeps the text.
    RefreshScript(list);
    EXPECT_EQ(Colour(2, kColData)->background, kWindowColour);
    EXPECT_EQ(list.GetCellText(2, kColData), L"0x12, 0xA");
}

TEST_F(ScriptRun, SelectedRunsGoOnAfterAFailureAndRunAllStops) {
    Add({L"Write", kAbsentSlave, L"1", L"0x01"});
    Add({L"Read", u2csim::kEepromAddress, L"2", L"0x1, 0x2"});
    EXPECT_EQ(RunLines(list, {0, 1}, false, Transfer()), 0);
    // The Read ran, and is coloured as failed with its text kept.
    EXPECT_EQ(list.GetCellText(1, kColData), L"0x1, 0x2");
    EXPECT_EQ(Colour(1, kColData)->background, kFailedColour);
    EXPECT_NE(sim.Text().find("\n ==> I2C Transaction Failed \n "), std::string::npos);

    EXPECT_EQ(RunLines(list, {0, 1}, true, Transfer()), 0);
    EXPECT_EQ(Colour(0, kColNumber)->text, kFailedColour);
    EXPECT_EQ(Colour(1, kColData)->background, kWindowColour); // not run
}

TEST_F(ScriptRun, LinesWhoseDataDoesNotMatchTheirLengthAreSkipped) {
    Add({L"Write", u2csim::kEepromAddress, L"2", L"0x00,0x01"}); // runner splits at ", "
    Add({L"Read", u2csim::kEepromAddress, L"2", L"0x00"});
    Add({L"UNKNOWN", u2csim::kEepromAddress, L"1", L"0x00"});
    EXPECT_EQ(RunLines(list, {0, 1}, true, Transfer()), 1);
    EXPECT_TRUE(sim.Writes(u2csim::kEepromAddress).empty());
    EXPECT_EQ(list.GetCellText(1, kColData), L"0x00");
    // A line without a known action fails without a transfer.
    EXPECT_EQ(RunLines(list, {2}, true, Transfer()), 0);
    EXPECT_TRUE(sim.Writes(u2csim::kEepromAddress).empty());
}

TEST_F(ScriptRun, AHugeDataLengthIsSkippedWithoutABuffer) {
    Add({L"Write", u2csim::kEepromAddress, L"1", L"0x01"});
    list.SetCellText(0, kColDataLength, L"0x7FFFFFFF");
    Add({L"Write", u2csim::kEepromAddress, L"2", L"0x00, 0x05"});
    EXPECT_TRUE(LineOfRow(list, 0).data.empty());
    EXPECT_EQ(RunLines(list, {0, 1}, true, Transfer()), 1);
    const auto writes = sim.Writes(u2csim::kEepromAddress);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0], (u2c::Bytes{0x00, 0x05}));
}

TEST_F(ScriptRun, DelaysWaitTheirTimeAndANegativeOneNothing) {
    Add({L"Delay", 0, L"1", L"100"});
    Add({L"Delay", 0, L"1", L"-1"});
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    EXPECT_EQ(RunLines(list, {0}, true, Transfer()), 1);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));
    start = Clock::now();
    EXPECT_EQ(RunLines(list, {1}, true, Transfer()), 1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST(ScriptList, ButtonsFollowTheSelection) {
    ListModel list;
    SetUpScriptList(list);
    ScriptButtons b = ButtonsFor(list);
    EXPECT_EQ(b.runAllCaption, L"Run All");
    EXPECT_FALSE(b.runAll);
    EXPECT_FALSE(b.selectionButtons);
    EXPECT_EQ(b.deleteCaption, L"Delete");
    EXPECT_EQ(b.runCaption, L"Run");

    for (int i = 0; i < 6; ++i)
        InsertDefaultLine(list, list.RowCount(), DefaultLine{});
    list.ClearSelection();
    list.Select(2);
    list.Select(4);
    b = ButtonsFor(list);
    EXPECT_EQ(b.deleteCaption, L"Delete (2)");
    EXPECT_EQ(b.runCaption, L"Run (2)");
    EXPECT_EQ(b.runAllCaption, L"Run All (6)");
    EXPECT_TRUE(b.selectionButtons);
    EXPECT_FALSE(b.moveUp);
    EXPECT_EQ(InsertBelowPosition(list), 5u);
    EXPECT_EQ(InsertAbovePosition(list), 2u);

    list.ClearSelection();
    list.Select(0);
    b = ButtonsFor(list);
    EXPECT_FALSE(b.moveUp);
    EXPECT_TRUE(b.moveDown);
    list.ClearSelection();
    list.Select(5);
    b = ButtonsFor(list);
    EXPECT_TRUE(b.moveUp);
    EXPECT_FALSE(b.moveDown);
}

TEST(ScriptList, InsertedLinesAndDeletedSelections) {
    ListModel list;
    SetUpScriptList(list);
    DefaultLine line; // action 0, slave 0x73, length 3, "0xFF"
    EXPECT_EQ(InsertDefaultLine(list, 9, line), 0u);
    EXPECT_EQ(list.GetCellText(0, kColNumber), L"1");
    EXPECT_EQ(list.GetCellText(0, kColAction), L"UNKNOWN");
    EXPECT_EQ(list.GetCellText(0, kColSlaveId), L"0x73");
    EXPECT_EQ(list.GetCellText(0, kColDataLength), L"3");
    EXPECT_EQ(list.GetCellText(0, kColData), L"0xFF");
    EXPECT_EQ(list.GetSelectedRows(), std::vector<std::size_t>{0});
    for (int i = 0; i < 5; ++i)
        InsertDefaultLine(list, list.RowCount(), line);

    list.ClearSelection();
    list.Select(3);
    list.Select(5);
    DeleteSelectedLines(list);
    EXPECT_EQ(list.RowCount(), 4u);
    EXPECT_EQ(list.GetSelectedRows(), std::vector<std::size_t>{2});
    EXPECT_EQ(list.GetCellText(3, kColNumber), L"4");

    list.ClearSelection();
    list.Select(0);
    DeleteSelectedLines(list);
    EXPECT_EQ(list.GetSelectedRows(), std::vector<std::size_t>{0});
}

TEST(ScriptList, AnEditedActionSetsTheLengthAndChecksTheData) {
    ListModel list;
    SetUpScriptList(list);
    DefaultLine line;
    line.action = 1;
    line.data = L"0x00, 0xA5, 0x00";
    InsertDefaultLine(list, 0, line);
    EXPECT_FALSE(CheckChangedCell(list, 0, kColData));
    EXPECT_TRUE(list.Modified());
    // Split at "," for the check: two values without a space pass.
    list.SetCellText(0, kColDataLength, L"2");
    list.SetCellText(0, kColData, L"0x00,0x01");
    EXPECT_FALSE(CheckChangedCell(list, 0, kColDataLength));
    list.SetCellText(0, kColData, L"0x00, 0xA5, 0x00");

    list.SetCellText(0, kColAction, L"delay");
    const auto message = CheckChangedCell(list, 0, kColAction);
    EXPECT_EQ(list.GetCellText(0, kColDataLength), L"1");
    ASSERT_TRUE(message);
    EXPECT_EQ(*message, L"The value \"0x00, 0xA5, 0x00\" doesn't match the expected format. "
                        L"Please check again.");
    EXPECT_EQ(list.GetCellText(0, kColData), L"0x00, 0xA5, 0x00");
    // The comment is not checked.
    EXPECT_FALSE(CheckChangedCell(list, 0, kColComment));
}

TEST(ScriptList, ChoicesOfTheDropDownColumns) {
    ListModel list;
    SetUpScriptList(list);
    InsertDefaultLine(list, 0, DefaultLine{});
    EXPECT_EQ(list.ChoicesFor(0, kColAction),
              (std::list<std::wstring>{L"Write", L"Read", L"Delay"}));
    EXPECT_EQ(list.ChoicesFor(0, kColDataLength),
              (std::list<std::wstring>{L"1", L"2", L"3", L"4"}));
    EXPECT_EQ(list.EditorTypeAt(0, kColNumber), kEditorNone);
    EXPECT_EQ(list.EditorTypeAt(0, kColSlaveId), kEditorHexList);
    EXPECT_EQ(list.EditorTypeAt(0, kColComment), kEditorPlain);
}

TEST(ScriptList, HeaderLabelsSpanTheirColumnsWithinTheList) {
    // The page's column widths in a list from x 10 to 800.
    HeaderLayout l = LayOutHeaderLabels({45, 50, 50, 60, 50, 120, 300}, 10, 40, 800);
    EXPECT_EQ(l.signature, "45;50;50;60;50;120;300;");
    EXPECT_EQ(l.labels[0].x, 105);
    EXPECT_EQ(l.labels[0].y, 19);
    EXPECT_EQ(l.labels[0].width, 110);
    EXPECT_EQ(l.labels[0].height, 20);
    EXPECT_EQ(l.labels[1].x, 216);
    EXPECT_EQ(l.labels[1].width, 170);
    EXPECT_EQ(l.labels[2].x, 387);
    EXPECT_EQ(l.labels[2].width, 300);
    // A column wider than 500 is narrowed; the labels stop at the right edge.
    l = LayOutHeaderLabels({45, 50, 50, 60, 50, 120, 900}, 10, 40, 600);
    EXPECT_EQ(l.widths[6], 500);
    EXPECT_EQ(l.signature, "45;50;50;60;50;120;500;");
    EXPECT_EQ(l.labels[2].x + l.labels[2].width, 600);
}

} // namespace
